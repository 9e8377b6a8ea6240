// Declarations shared by the installer's units. No routines live here.
#pragma once

#include <cstdint>

// File attribute bits as the archive stores them (the Win32 values).
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;

// Called between units of work; with close true it destroys the active dialog
// right before a message box of the caller's own.
using ProgressCallback = void (*)(bool close);

// The archive reader's per-member progress: full member path and percentage.
using MemberProgressCallback = void (*)(const char* memberPath, int32_t percent);
