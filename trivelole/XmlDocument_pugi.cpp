#include "trivelole/XmlDocument_pugi.h"

#include <pugixml.hpp>

#include <sstream>

namespace {

// UTF-8 to ISO-8859-1; code points above 0xFF and broken sequences give '?'.
std::string ToAnsi(const std::string& strUtf8) {
  std::string str;
  for (size_t i = 0; i < strUtf8.size();) {
    const unsigned char c = static_cast<unsigned char>(strUtf8[i]);
    if (c < 0x80) {
      str += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t nLength = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    uint32_t dwCode = nLength == 2 ? c & 0x1F : nLength == 3 ? c & 0x0F : c & 0x07;
    bool bValid = nLength > 1 && i + nLength <= strUtf8.size();
    for (size_t k = 1; bValid && k < nLength; ++k) {
      const unsigned char cc = static_cast<unsigned char>(strUtf8[i + k]);
      bValid = (cc & 0xC0) == 0x80;
      dwCode = (dwCode << 6) | (cc & 0x3F);
    }
    str += bValid && dwCode <= 0xFF ? static_cast<char>(dwCode) : '?';
    i += bValid ? nLength : 1;
  }
  return str;
}

// ISO-8859-1 to UTF-8, for text handed to the document.
std::string FromAnsi(const std::string& strAnsi) {
  std::string str;
  for (unsigned char c : strAnsi) {
    if (c < 0x80) {
      str += static_cast<char>(c);
    } else {
      str += static_cast<char>(0xC0 | (c >> 6));
      str += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return str;
}

void AppendText(pugi::xml_node node, std::string* pstr) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      *pstr += child.value();
    else if (child.type() == pugi::node_element)
      AppendText(child, pstr);
  }
}

class CPugiXmlDocument : public IXmlDocument {
 public:
  bool IsReady() const override { return true; }

  bool Load(const std::string& strPath) override {
    m_doc.reset();
    if (!m_doc.load_file(strPath.c_str())) return false;
    // The library takes a fragment with several top-level elements; a
    // document has exactly one, as the Windows build's engine demands.
    int nRoots = 0;
    for (pugi::xml_node child : m_doc.children())
      if (child.type() == pugi::node_element) ++nRoots;
    if (nRoots == 1) return true;
    m_doc.reset();
    return false;
  }

  bool GetString(const std::string& strPath, int n, std::string* pstrText) override {
    pugi::xml_node node = Select(strPath, n);
    if (!node || node.type() != pugi::node_element) return false;
    std::string strUtf8;
    AppendText(node, &strUtf8);
    *pstrText = ToAnsi(strUtf8);
    return true;
  }

  bool AddDeclaration(const std::string& strTarget, const std::string& strData) override {
    pugi::xml_node pi = m_doc.append_child(pugi::node_pi);
    return pi && pi.set_name(FromAnsi(strTarget).c_str()) &&
           pi.set_value(FromAnsi(strData).c_str());
  }

  bool AddElement(const std::string& strParent, int n, const std::string& strName) override {
    return static_cast<bool>(Append(strParent, n, strName));
  }

  bool AddTextElement(const std::string& strParent, int n, const std::string& strName,
                      const std::string& strText) override {
    pugi::xml_node element = Append(strParent, n, strName);
    return element && element.text().set(FromAnsi(strText).c_str());
  }

  bool SetAttribute(const std::string& strPath, int n, const std::string& strName,
                    const std::string& strValue) override {
    pugi::xml_node element = Select(strPath, n);
    if (!element || element.type() != pugi::node_element) return false;
    const std::string strKey = FromAnsi(strName);
    pugi::xml_attribute attribute = element.attribute(strKey.c_str());
    if (!attribute) attribute = element.append_attribute(strKey.c_str());
    return attribute && attribute.set_value(FromAnsi(strValue).c_str());
  }

  bool GetXml(std::string* pstrXml) override {
    std::ostringstream stream;
    m_doc.save(stream, "\t", pugi::format_default | pugi::format_no_declaration);
    *pstrXml = ToAnsi(stream.str());
    return true;
  }

 private:
  // The n-th node the path selects, in document order; null when there are
  // not more than n, or the path is no valid path.
  pugi::xml_node Select(const std::string& strPath, int n) {
    if (n < 0) return {};
    if (strPath == "/") return n == 0 ? static_cast<pugi::xml_node>(m_doc) : pugi::xml_node();
    // The library reports a path it cannot parse by throwing; no exception
    // leaves this file.
    try {
      pugi::xpath_node_set nodes = m_doc.select_nodes(strPath.c_str());
      nodes.sort();
      if (static_cast<size_t>(n) >= nodes.size()) return {};
      return nodes[static_cast<size_t>(n)].node();
    } catch (const std::exception&) {
      return {};
    }
  }

  pugi::xml_node Append(const std::string& strParent, int n, const std::string& strName) {
    pugi::xml_node parent = Select(strParent, n);
    if (!parent) return {};
    // A document has one root element; a second one would serialise to text
    // that no parser accepts.
    if (parent.type() == pugi::node_document && m_doc.document_element()) return {};
    return parent.append_child(FromAnsi(strName).c_str());
  }

  pugi::xml_document m_doc;
};

}  // namespace

std::unique_ptr<IXmlDocument> CreatePugiXmlDocument() {
  return std::make_unique<CPugiXmlDocument>();
}
