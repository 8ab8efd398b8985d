// "Did you mean": TKeyWordIndex answers the key words closest to a typed word under
// TurkishEditDistance, a weighted edit distance in which the letters that people type without
// a Turkish keyboard cost little (ı/i, ş/s, ğ/g, ü/u, ö/o, ç/c, and â î û for a i u: 0.25),
// letter case nothing, a vowel that the typed word lacks 0.75 (fast typists drop vowels:
// "kalm"), and every other insertion, deletion, substitution or swap of two neighbours 1.
//
// The index is a deletion index (as SymSpell) over the "skeletons" of the key words, in which
// those letter pairs coincide: the key words are grouped by the first seven letters of their
// skeleton, and every string that deleting at most two letters makes of a group's prefix
// points to the group. A typed word looks up the deletions of its own prefix, and only the
// members of the groups found are measured. Two plain edits within the first seven letters are
// always found; edits after them are found because the prefix still matches.
// Thread-safety: none; built on any thread, then used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zendo::lexicon {

// The weighted distance from a typed word to a key word (1254 texts, folded first); symmetric
// but for the missing vowels. Returns a value above `bound` as soon as the distance is known
// to exceed it.
double TurkishEditDistance(std::string_view typed, std::string_view key_word, double bound = 1e9);

struct TSuggestion {
    std::string key_word; // as the glossary stores it (the first stored form of equal words)
    double distance = 0;
};

class TKeyWordIndex {
public:
    TKeyWordIndex() = default;

    // Replaces the contents with these key words (repeats count once each).
    void Build(const std::vector<std::string>& key_words);
    // After the glossary gained a record with this key word / lost one.
    void Add(std::string_view key_word);
    void Remove(std::string_view key_word);

    // At most `count` key words within `max_distance` of `typed`, closest first (ties: the
    // length nearer to the typed word's, then the key word's bytes). The typed word itself, when
    // it is a key word, comes first at distance 0.
    std::vector<TSuggestion> Closest(
        std::string_view typed, size_t count = 5, double max_distance = 2.0) const;

    // The records the index counts for this key word (folded comparison).
    size_t Records(std::string_view key_word) const;
    // Distinct key words held (with at least one record).
    size_t WordCount() const { return live_words_; }
    size_t GroupCount() const { return group_members_.size(); }
    // The heap bytes of the index, roughly.
    size_t MemoryBytes() const;

private:
    struct TEntry {
        uint32_t offset; // of the stored form in text_
        uint16_t length;
        uint32_t records; // how many records hold the word; 0: removed
    };

    std::string_view Stored(const TEntry& entry) const {
        return std::string_view(text_).substr(entry.offset, entry.length);
    }
    uint32_t GroupOf(const std::string& prefix, bool create);
    void IndexGroup(uint32_t group, bool into_extra);
    template <typename Visit> void ForEachGroupNear(const std::string& prefix, Visit&& visit) const;

    std::string text_; // the stored forms, one after the other
    std::vector<TEntry> entries_;
    size_t live_words_ = 0;
    std::vector<std::string> group_prefix_;
    std::vector<std::vector<uint32_t>> group_members_;
    std::unordered_map<std::string, uint32_t> group_of_prefix_;
    // (hash of a deletion << 32 | group), sorted; groups made after Build go to extra_.
    std::vector<uint64_t> deletions_;
    std::unordered_multimap<uint32_t, uint32_t> extra_deletions_;
};

} // namespace zendo::lexicon
