// Numeric values of the Windows constants that portable code needs.
// They carry a k prefix so that they never collide with the macros of the
// Windows headers in the *_win.cpp files that include both.
#pragma once

#include <cstdint>

// Message box buttons, icons and answers.
constexpr uint32_t kMbOk = 0x00000000;
constexpr uint32_t kMbOkCancel = 0x00000001;
constexpr uint32_t kMbYesNo = 0x00000004;
constexpr uint32_t kMbIconError = 0x00000010;
constexpr uint32_t kMbIconQuestion = 0x00000020;
constexpr uint32_t kMbIconInformation = 0x00000040;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Operating-system platform ids of the version record.
constexpr uint32_t kPlatformWin9x = 1;
constexpr uint32_t kPlatformWinNT = 2;

// ExitWindowsEx flags.
constexpr uint32_t kEwxReboot = 0x00000002;
constexpr uint32_t kEwxForce = 0x00000004;

// Thread priorities.
constexpr int kThreadPriorityNormal = 0;
constexpr int kThreadPriorityTimeCritical = 15;

// Service control manager values.
constexpr uint32_t kScManagerAllAccess = 0x000F003F;
constexpr uint32_t kServiceAllAccess = 0x000F01FF;
constexpr uint32_t kServiceKernelDriver = 0x00000001;
constexpr uint32_t kServiceBootStart = 0x00000000;
constexpr uint32_t kServiceSystemStart = 0x00000001;
constexpr uint32_t kServiceAutoStart = 0x00000002;
constexpr uint32_t kServiceDemandStart = 0x00000003;
constexpr uint32_t kServiceErrorNormal = 0x00000001;
constexpr uint32_t kServiceControlStop = 0x00000001;
constexpr uint32_t kServiceControlInterrogate = 0x00000004;
constexpr uint32_t kServiceStopped = 0x00000001;
constexpr uint32_t kServiceStartPending = 0x00000002;
constexpr uint32_t kServiceStopPending = 0x00000003;
constexpr uint32_t kServiceRunning = 0x00000004;

// Win32 error codes that callers test for.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
constexpr uint32_t kErrorServiceDoesNotExist = 1060;
constexpr uint32_t kErrorServiceNotActive = 1062;
constexpr uint32_t kErrorServiceExists = 1073;
constexpr uint32_t kErrorServiceMarkedForDelete = 1072;
