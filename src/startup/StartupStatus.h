#pragma once
// What the start-up switch would see: the Run and RunDisabled entries of
// every place, one line each, as text that is safe to print whatever the
// entries hold.
#include <string>

#include "registry/exact.h"
#include "startup/MoveStartupValues.h"

// Every place (HKEY_LOCAL_MACHINE in each view Windows starts programs from,
// then HKEY_CURRENT_USER), its two keys, and each entry's name, type and data:
// one line per entry, its name whole and quoted, the unnamed one (default).
std::wstring DescribeStartupEntries();

// The same as JSON for scripts: each key's place, view, path and state, and
// each entry's name, type, every byte in hex, and the string or number it
// holds. Any name or data gives valid JSON, in pure ASCII, that reads back
// exactly.
std::wstring DescribeStartupEntriesJson();

// A value's type and a short rendering of its data: strings quoted and
// escaped as base::Quoted does, a long one cut with its whole length told,
// and anything after a string's first NUL marked; numbers in decimal;
// anything else as its first bytes in hex and its size.
std::wstring RenderValue(const mGeneral::ExactValue& value);

// What a move from `source` to `target` would do, as its dry run tells: one
// line for each entry that would move, "what: now → after", and one for each
// that would stay, with the reason. Only the entries `only` names, if given;
// `keepTargetValues` as in MoveOptions. `result` counts as the move would:
// those that would move, and those that would stay, by reason.
std::wstring PreviewMove(const wchar_t* source, const wchar_t* target, bool keepTargetValues,
                         const std::vector<PlaceEntries>* only, MoveResult& result);
