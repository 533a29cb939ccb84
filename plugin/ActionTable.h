// The fixed table of the plug-in's eight actions, in registration order, and
// the plug-in's own texts. The names are ASCII; the hints, the title, the
// author line and the description are code page 1251 byte strings, exactly as
// the host receives them.
#pragma once

#include <array>
#include <cstdint>

struct ActionInfo {
  int32_t Id;
  const char* Name;
  const char* Hint;  // code page 1251
  int32_t ParamCount;
};

constexpr int32_t kActionCount = 8;
constexpr int32_t kMaxParamCount = 5;
// Every parameter of every action has this kind byte.
constexpr uint8_t kParamKind = 1;

// The rows in registration order: ids 1, 2, 8, 3, 4, 5, 6, 7.
const std::array<ActionInfo, kActionCount>& ActionTable();
// The row of `id`, or null for an id outside 1..8.
const ActionInfo* FindAction(int32_t id);

// Texts returned by nbInitPlugIn (code page 1251).
extern const char kPlugInTitle[];
extern const char kPlugInAuthor[];
extern const char kPlugInDescription[];
