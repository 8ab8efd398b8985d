#include "app/lexicon/did_you_mean.h"

#include "app/lexicon/turkish_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace zendo::lexicon {

namespace {

// Costs in quarters, so that the dynamic programme adds integers.
constexpr int kConfusionCost = 1;
constexpr int kEditCost = 4;
// People who type fast leave out vowels ("kalm" for "kalem"): a vowel the typed word lacks.
constexpr int kMissingVowelCost = 3;
constexpr size_t kPrefixLength = 7;
constexpr size_t kMaxDeletions = 2;
constexpr size_t kMaxLength = 256;

// The skeleton of each byte, looked up once for the process.
const std::array<char, 256>& SkeletonTable() {
    static const std::array<char, 256> table = [] {
        std::array<char, 256> t;
        for (int i = 0; i < 256; ++i)
            t[i] = SkeletonChar(char(i));
        return t;
    }();
    return table;
}

int SubstitutionCost(const std::array<char, 256>& skeleton, char a, char b) {
    if (a == b)
        return 0;
    return skeleton[uint8_t(a)] == skeleton[uint8_t(b)] ? kConfusionCost : kEditCost;
}

bool IsVowel(char c) {
    switch (SkeletonChar(c)) {
    case 'a':
    case 'e':
    case 'i':
    case 'o':
    case 'u':
        return true;
    default:
        return false;
    }
}

// What a letter of the key word that the typed word lacks costs, by byte.
const std::array<int, 256>& MissingCosts() {
    static const std::array<int, 256> table = [] {
        std::array<int, 256> t;
        for (int i = 0; i < 256; ++i)
            t[i] = IsVowel(char(i)) ? kMissingVowelCost : kEditCost;
        return t;
    }();
    return table;
}

// Optimal string alignment distance from a typed word to a key word (both folded), in
// quarters; stops above `bound`.
int QuarterDistance(std::string_view typed, std::string_view key, int bound) {
    size_t n = typed.size();
    size_t m = key.size();
    int least = m > n ? int(m - n) * kMissingVowelCost : int(n - m) * kEditCost;
    if (least > bound)
        return bound + 1;
    if (n >= kMaxLength || m >= kMaxLength)
        return typed == key ? 0 : bound + 1;
    // Rows over the typed word: two back (for swaps), the previous one and the current one.
    const std::array<char, 256>& skeleton = SkeletonTable();
    const std::array<int, 256>& missing = MissingCosts();
    int rows[3][kMaxLength + 1];
    int* before = rows[0];
    int* previous = rows[1];
    int* current = rows[2];
    previous[0] = 0;
    for (size_t j = 1; j <= m; ++j)
        previous[j] = previous[j - 1] + missing[uint8_t(key[j - 1])];
    for (size_t i = 1; i <= n; ++i) {
        current[0] = int(i) * kEditCost;
        int row_minimum = current[0];
        for (size_t j = 1; j <= m; ++j) {
            int cost
                = std::min({ previous[j] + kEditCost, current[j - 1] + missing[uint8_t(key[j - 1])],
                    previous[j - 1] + SubstitutionCost(skeleton, typed[i - 1], key[j - 1]) });
            if (i > 1 && j > 1 && typed[i - 1] == key[j - 2] && typed[i - 2] == key[j - 1]
                && typed[i - 1] != key[j - 1])
                cost = std::min(cost, before[j - 2] + kEditCost);
            current[j] = cost;
            row_minimum = std::min(row_minimum, cost);
        }
        if (row_minimum > bound)
            return bound + 1;
        int* spare = before;
        before = previous;
        previous = current;
        current = spare;
    }
    return previous[m];
}

int ToQuarters(double distance) {
    return distance >= 1e8 ? 1 << 28 : int(std::floor(distance * 4 + 1e-9));
}

uint32_t Hash(std::string_view text) {
    return uint32_t(std::hash<std::string_view> {}(text));
}

// Every distinct string that deleting at most kMaxDeletions letters makes of `text`.
std::vector<std::string> Deletions(const std::string& text) {
    std::vector<std::string> out { text };
    size_t begin = 0;
    for (size_t round = 0; round < kMaxDeletions; ++round) {
        size_t end = out.size();
        for (size_t i = begin; i < end; ++i) {
            for (size_t k = 0; k < out[i].size(); ++k) {
                std::string shorter = out[i];
                shorter.erase(k, 1);
                out.push_back(std::move(shorter));
            }
        }
        begin = end;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::string GroupPrefix(std::string_view key_word) {
    return Skeleton(key_word.substr(0, std::min(key_word.size(), kPrefixLength)));
}

} // namespace

double TurkishEditDistance(std::string_view typed, std::string_view key_word, double bound) {
    std::string fa = Fold(typed);
    std::string fb = Fold(key_word);
    int quarters = QuarterDistance(fa, fb, ToQuarters(bound));
    return quarters / 4.0;
}

void TKeyWordIndex::Build(const std::vector<std::string>& key_words) {
    text_.clear();
    entries_.clear();
    live_words_ = 0;
    group_prefix_.clear();
    group_members_.clear();
    group_of_prefix_.clear();
    deletions_.clear();
    extra_deletions_.clear();
    std::vector<std::pair<std::string, uint32_t>> sorted;
    sorted.reserve(key_words.size());
    for (uint32_t i = 0; i < key_words.size(); ++i) {
        if (!key_words[i].empty())
            sorted.emplace_back(Fold(key_words[i]), i);
    }
    // Equal words (after folding) become one entry, with the first stored form.
    std::stable_sort(sorted.begin(), sorted.end(),
        [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < sorted.size();) {
        size_t j = i;
        while (j < sorted.size() && sorted[j].first == sorted[i].first)
            ++j;
        const std::string& stored = key_words[sorted[i].second];
        uint32_t entry = uint32_t(entries_.size());
        entries_.push_back({ uint32_t(text_.size()),
            uint16_t(std::min<size_t>(stored.size(), UINT16_MAX)), uint32_t(j - i) });
        text_.append(stored.substr(0, UINT16_MAX));
        group_members_[GroupOf(GroupPrefix(stored), true)].push_back(entry);
        ++live_words_;
        i = j;
    }
    for (uint32_t group = 0; group < group_members_.size(); ++group)
        IndexGroup(group, false);
    std::sort(deletions_.begin(), deletions_.end());
    deletions_.erase(std::unique(deletions_.begin(), deletions_.end()), deletions_.end());
    deletions_.shrink_to_fit();
}

uint32_t TKeyWordIndex::GroupOf(const std::string& prefix, bool create) {
    auto it = group_of_prefix_.find(prefix);
    if (it != group_of_prefix_.end())
        return it->second;
    if (!create)
        return UINT32_MAX;
    uint32_t group = uint32_t(group_members_.size());
    group_of_prefix_.emplace(prefix, group);
    group_prefix_.push_back(prefix);
    group_members_.emplace_back();
    return group;
}

void TKeyWordIndex::IndexGroup(uint32_t group, bool into_extra) {
    for (const std::string& deletion : Deletions(group_prefix_[group])) {
        uint32_t hash = Hash(deletion);
        if (into_extra)
            extra_deletions_.emplace(hash, group);
        else
            deletions_.push_back(uint64_t(hash) << 32 | group);
    }
}

void TKeyWordIndex::Add(std::string_view key_word) {
    if (key_word.empty())
        return;
    std::string folded = Fold(key_word);
    std::string prefix = GroupPrefix(key_word);
    bool new_group = group_of_prefix_.find(prefix) == group_of_prefix_.end();
    uint32_t group = GroupOf(prefix, true);
    for (uint32_t entry : group_members_[group]) {
        TEntry& e = entries_[entry];
        if (Fold(Stored(e)) == folded) {
            if (e.records++ == 0) {
                // The word came back, perhaps in another letter case: keep the new form.
                e.offset = uint32_t(text_.size());
                e.length = uint16_t(std::min<size_t>(key_word.size(), UINT16_MAX));
                text_.append(key_word.substr(0, UINT16_MAX));
                ++live_words_;
            }
            return;
        }
    }
    uint32_t entry = uint32_t(entries_.size());
    entries_.push_back(
        { uint32_t(text_.size()), uint16_t(std::min<size_t>(key_word.size(), UINT16_MAX)), 1 });
    text_.append(key_word.substr(0, UINT16_MAX));
    group_members_[group].push_back(entry);
    ++live_words_;
    if (new_group)
        IndexGroup(group, true);
}

void TKeyWordIndex::Remove(std::string_view key_word) {
    uint32_t group = GroupOf(GroupPrefix(key_word), false);
    if (group == UINT32_MAX)
        return;
    std::string folded = Fold(key_word);
    for (uint32_t entry : group_members_[group]) {
        TEntry& e = entries_[entry];
        if (e.records > 0 && Fold(Stored(e)) == folded) {
            if (--e.records == 0)
                --live_words_;
            return;
        }
    }
}

size_t TKeyWordIndex::Records(std::string_view key_word) const {
    auto group = group_of_prefix_.find(GroupPrefix(key_word));
    if (group == group_of_prefix_.end())
        return 0;
    std::string folded = Fold(key_word);
    for (uint32_t entry : group_members_[group->second]) {
        if (Fold(Stored(entries_[entry])) == folded)
            return entries_[entry].records;
    }
    return 0;
}

template <typename Visit>
void TKeyWordIndex::ForEachGroupNear(const std::string& prefix, Visit&& visit) const {
    std::vector<uint32_t> groups;
    for (const std::string& deletion : Deletions(prefix)) {
        uint32_t hash = Hash(deletion);
        auto first = std::lower_bound(deletions_.begin(), deletions_.end(), uint64_t(hash) << 32);
        for (auto it = first; it != deletions_.end() && uint32_t(*it >> 32) == hash; ++it)
            groups.push_back(uint32_t(*it));
        auto [from, to] = extra_deletions_.equal_range(hash);
        for (auto it = from; it != to; ++it)
            groups.push_back(it->second);
    }
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    for (uint32_t group : groups)
        visit(group);
}

std::vector<TSuggestion> TKeyWordIndex::Closest(
    std::string_view typed, size_t count, double max_distance) const {
    struct TCandidate {
        int quarters;
        size_t length_gap;
        uint32_t entry;
    };
    std::vector<TCandidate> best;
    if (typed.empty() || count == 0 || entries_.empty())
        return {};
    std::string folded = Fold(typed);
    int limit = ToQuarters(max_distance);
    auto worse = [&](const TCandidate& a, const TCandidate& b) {
        if (a.quarters != b.quarters)
            return a.quarters < b.quarters;
        if (a.length_gap != b.length_gap)
            return a.length_gap < b.length_gap;
        return Stored(entries_[a.entry]) < Stored(entries_[b.entry]);
    };
    std::string candidate;
    ForEachGroupNear(GroupPrefix(typed), [&](uint32_t group) {
        for (uint32_t entry : group_members_[group]) {
            const TEntry& e = entries_[entry];
            if (e.records == 0)
                continue;
            size_t gap
                = e.length > folded.size() ? e.length - folded.size() : folded.size() - e.length;
            // The bound: the worst of a full list, else the limit.
            int bound = best.size() == count ? best.back().quarters : limit;
            if (int(gap) * kMissingVowelCost > bound)
                continue;
            candidate.assign(Stored(e));
            for (char& c : candidate)
                c = FoldChar(c);
            int quarters = QuarterDistance(folded, candidate, bound);
            if (quarters > bound)
                continue;
            TCandidate found { quarters, gap, entry };
            auto at = std::upper_bound(best.begin(), best.end(), found, worse);
            if (size_t(at - best.begin()) >= count)
                continue;
            best.insert(at, found);
            if (best.size() > count)
                best.pop_back();
        }
    });
    std::vector<TSuggestion> out;
    for (const TCandidate& c : best)
        out.push_back({ std::string(Stored(entries_[c.entry])), c.quarters / 4.0 });
    return out;
}

size_t TKeyWordIndex::MemoryBytes() const {
    size_t bytes = text_.capacity() + entries_.capacity() * sizeof(TEntry)
        + deletions_.capacity() * sizeof(uint64_t)
        + extra_deletions_.size() * (sizeof(void*) * 2 + 8)
        + group_members_.capacity() * sizeof(std::vector<uint32_t>)
        + group_prefix_.capacity() * sizeof(std::string)
        + group_of_prefix_.size() * (sizeof(std::string) + sizeof(void*) * 2 + 8)
        + group_of_prefix_.bucket_count() * sizeof(void*);
    for (const auto& members : group_members_)
        bytes += members.capacity() * sizeof(uint32_t);
    return bytes;
}

} // namespace zendo::lexicon
