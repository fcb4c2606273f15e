#pragma once
// The merge a card was last printed with, kept in the card so the next merge
// of it starts there: hidden records "zMerge01", "zMerge02", ... (every
// reader of the format keeps them and none draws them), ASCII text.

#include "merge/columns.h"

#include <QString>
#include <string>
#include <utility>
#include <vector>

class Objects;

inline constexpr const char *kMergeRecordPrefix = "zMerge";

struct MergeMemory
{
    QString list;  // absolute path
    QString sheet; // empty: the first
    // Columns (by name) whose target the user chose, differing from the
    // automatic choice; an unused target means 「使わない」.
    std::vector<std::pair<QString, MergeTarget>> chosen;
    bool mixed = false;

    bool operator==(const MergeMemory &) const = default;
};

// What the card keeps; empty when nothing (or nothing readable).
MergeMemory ReadMergeMemory(const Objects &card);
// The records holding `memory` (key, text), for EditSession::SetHiddenRecords
// with kMergeRecordPrefix; none for an empty list.
std::vector<std::pair<std::string, std::string>> MergeMemoryRecords(const MergeMemory &memory);
