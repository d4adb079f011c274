// Where the plug-in's first Apply falls among the controller's command
// records, counted from the plug-in's start on a fresh bench controller
// (as the bench's "timeout_at" counts them): the host test under Wine
// injects its controller timeouts there through the state file, and
// PagePresenterTest checks that the plug-in still sends them there.
// The start reads the board, the reference clock, the live flags and
// the seven clock and voltage records; an Apply of the Default profile
// after a move of the slider reads and writes the live flags, then writes
// and commits the clock record, then the voltage record.
#pragma once

#include <cstdint>

constexpr uint32_t kRecordsAtStart = 33;
constexpr uint32_t kRecordApplyClockWrite = 36;
constexpr uint32_t kRecordApplyClockCommit = 37;
constexpr uint32_t kRecordApplyVoltageCommit = 39;
