// TLexicon: the word services of the glossary window in one object. It builds, once and on a
// worker thread, the Turkish stemmer (hunspell), the "did you mean" index of the key words and
// the index of the explanations (one scan of the table through a session of its own), then
// answers on the window's thread, and follows the window's own changes of records through
// KeyWordChanged.
// Thread-safety: every member function is for the thread of the session that owns
// `directory` (the window's). The worker touches nothing of that session. Lifetime: destroy the
// lexicon before the engine stops or the directory closes; the destructor stops and waits for a
// running build.
#pragma once

#include "app/lexicon/did_you_mean.h"
#include "app/lexicon/explanation_search.h"
#include "app/lexicon/stems.h"

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zolvek {
class TDataDirectory;
class TDataEngine;
} // namespace zolvek

namespace zendo::lexicon {

class TGlossaryKeys;

struct TLexiconOptions {
    std::string table_name = "datalar";
    std::vector<std::string>
        passwords; // for an encrypted glossary: the worker's session needs them
    std::string affix_file = kTurkishAffixFile;
    std::string dictionary_file = kTurkishDictionaryFile;
};

class TLexicon {
public:
    // Opens a read-only cursor of its own on the table (engine errors propagate) and starts the
    // build.
    explicit TLexicon(zolvek::TDataDirectory& directory, TLexiconOptions options = {});
    ~TLexicon();
    TLexicon(const TLexicon&) = delete;
    TLexicon& operator=(const TLexicon&) = delete;

    // Takes in a finished build without waiting; true once the services answer. A build that
    // failed raises its error here, once (std::exception or EZOLVEKEngineError); the services
    // then stay empty until Rebuild.
    bool Ready();
    void WaitUntilReady();
    // Starts a fresh build; the present indexes answer until it is taken in.
    void Rebuild();

    // Before Ready these answer nothing (empty lists, no records).
    // The stems of the typed word that the glossary holds, most specific first, as stored.
    std::vector<std::string> Stems(std::string_view typed);
    // The key words closest to the typed word (see did_you_mean.h).
    std::vector<TSuggestion> DidYouMean(
        std::string_view typed, size_t count = 5, double max_distance = 2.0);
    // The records whose key word or explanation holds every typed word, first rows ranked.
    TExplanationResult SearchExplanations(std::string_view text, size_t row_limit = 20);

    // After the window added, corrected or deleted a record with this key word (for a changed
    // key word: call it with the old and with the new one): the records that hold it are read
    // again through the engine. Calls before Ready are kept and applied when the build is in.
    void KeyWordChanged(std::string_view key_word);
    // True when the table changed since the build other than through KeyWordChanged (another
    // program, or an edit not reported): the window may call Rebuild.
    bool TableChangedElsewhere();

private:
    struct TBuilt;
    static std::unique_ptr<TBuilt> Build(zolvek::TDataEngine* engine, std::string path,
        TLexiconOptions options, const std::atomic<bool>* cancel);
    void StartBuild();
    void Apply(std::string_view key_word);

    zolvek::TDataDirectory& directory_;
    TLexiconOptions options_;
    std::unique_ptr<TGlossaryKeys> keys_;
    std::unique_ptr<TBuilt> built_;
    std::future<std::unique_ptr<TBuilt>> building_;
    std::atomic<bool> cancel_ { false };
    std::vector<std::string> pending_key_words_;
    uint32_t expected_change_count_ = 0;
};

} // namespace zendo::lexicon
