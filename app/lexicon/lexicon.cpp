#include "app/lexicon/lexicon.h"

#include "app/lexicon/glossary_source.h"
#include "db/storage/directory.h"
#include "db/storage/table.h"

#include <algorithm>
#include <chrono>

namespace zendo::lexicon {

namespace {

struct TBuildCancelled { };

} // namespace

struct TLexicon::TBuilt {
    std::unique_ptr<TStemmer> stemmer;
    TKeyWordIndex key_words;
    TExplanationIndex explanations;
    uint32_t change_count = 0;
};

TLexicon::TLexicon(zolvek::TDataDirectory& directory, TLexiconOptions options)
    : directory_(directory)
    , options_(std::move(options))
    , keys_(std::make_unique<TGlossaryKeys>(directory, options_.table_name)) {
    StartBuild();
}

TLexicon::~TLexicon() {
    cancel_ = true;
    if (building_.valid())
        building_.wait();
}

void TLexicon::StartBuild() {
    if (building_.valid())
        return;
    cancel_ = false;
    building_ = std::async(std::launch::async, &TLexicon::Build, &directory_.Engine(),
        directory_.Path(), options_, &cancel_);
}

void TLexicon::Rebuild() {
    StartBuild();
}

std::unique_ptr<TLexicon::TBuilt> TLexicon::Build(zolvek::TDataEngine* engine, std::string path,
    TLexiconOptions options, const std::atomic<bool>* cancel) {
    auto built = std::make_unique<TBuilt>();
    built->stemmer = std::make_unique<TStemmer>(options.affix_file, options.dictionary_file);
    // The window's session belongs to the window's thread: the scan runs in a session of its
    // own on the same engine and directory.
    TWorkerSession session(*engine, path, options.passwords);
    std::vector<std::string> key_words;
    built->explanations.BeginBuild();
    try {
        built->change_count = ScanGlossary(
            session.Directory(), options.table_name, true, [&](const TGlossaryRecord& record) {
                if (*cancel)
                    throw TBuildCancelled {};
                key_words.push_back(record.key_word);
                built->explanations.AddRecord(record.record, record.key_word, record.explanation);
            });
    } catch (const TBuildCancelled&) {
        return nullptr;
    }
    built->explanations.EndBuild();
    built->key_words.Build(key_words);
    return built;
}

bool TLexicon::Ready() {
    if (building_.valid()
        && building_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        std::unique_ptr<TBuilt> fresh = building_.get(); // raises the build's failure
        if (fresh) {
            built_ = std::move(fresh);
            expected_change_count_ = built_->change_count;
            std::vector<std::string> pending;
            pending.swap(pending_key_words_);
            for (const std::string& key_word : pending)
                Apply(key_word);
            if (!pending.empty())
                expected_change_count_ = keys_->ChangeCount();
        }
    }
    return built_ != nullptr;
}

void TLexicon::WaitUntilReady() {
    if (building_.valid())
        building_.wait();
    Ready();
}

std::vector<std::string> TLexicon::Stems(std::string_view typed) {
    if (!Ready())
        return {};
    return GlossaryStems(*built_->stemmer, *keys_, typed);
}

std::vector<TSuggestion> TLexicon::DidYouMean(
    std::string_view typed, size_t count, double max_distance) {
    if (!Ready())
        return {};
    return built_->key_words.Closest(typed, count, max_distance);
}

TExplanationResult TLexicon::SearchExplanations(std::string_view text, size_t row_limit) {
    if (!Ready())
        return {};
    return built_->explanations.Search(text, row_limit);
}

void TLexicon::KeyWordChanged(std::string_view key_word) {
    // A build under way has read the table at some point of the change or before it: the
    // change is applied again when the build is taken in.
    if (building_.valid())
        pending_key_words_.emplace_back(key_word);
    if (built_ == nullptr)
        return;
    Apply(key_word);
    expected_change_count_ = keys_->ChangeCount();
}

void TLexicon::Apply(std::string_view key_word) {
    std::vector<TGlossaryRecord> present = keys_->Find(key_word, true);
    std::vector<uint32_t> before = built_->explanations.RecordsWithKeyWord(key_word);
    uint32_t locale = keys_->LocaleID();
    for (uint32_t record : before) {
        bool kept = std::any_of(present.begin(), present.end(),
            [&](const TGlossaryRecord& r) { return r.record == record; });
        if (!kept)
            built_->explanations.EraseRecord(record);
    }
    for (const TGlossaryRecord& record : present)
        built_->explanations.UpdateRecord(
            record.record, record.key_word, record.explanation, locale);
    for (size_t n = before.size(); n < present.size(); ++n)
        built_->key_words.Add(present[n].key_word);
    for (size_t n = present.size(); n < before.size(); ++n)
        built_->key_words.Remove(key_word);
}

bool TLexicon::TableChangedElsewhere() {
    if (!Ready())
        return false;
    return keys_->ChangeCount() != expected_change_count_;
}

} // namespace zendo::lexicon
