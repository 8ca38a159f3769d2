// The program corpus: every run of MANIFEST.tsv on the engine, compared byte for byte with its
// expected output, its error code, its executed-command count and the output window's lines.

#include "test_support.h"

#include "cel_SourceText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct TCorpusRow {
    std::string Name;        // test name: program, cell width, "Heavy" for the long runs
    std::string Program;
    std::string Input;       // empty: no input
    std::string Output;
    bool Wide = false;
    bool PBrain = false;
    bool Comments = false;
    std::optional<uint64_t> Executed;
    std::string Note;
    size_t DisplayLines = 1;
    int Error = 0;
    bool Heavy = false;
    int Line = 0;            // line of the manifest
};

// Lets failure messages and test listings name a row readably.
void PrintTo(const TCorpusRow& row, std::ostream* os) {
    *os << row.Program << " (manifest line " << row.Line << ")";
}

struct TManifest {
    std::string Dir;
    std::vector<TCorpusRow> Rows;
    std::vector<std::string> Problems;  // malformed lines and missing files
};

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

// Letters and digits kept, every other run of characters one underscore.
std::string Identifier(const std::string& text) {
    std::string id;
    for (unsigned char c : text) {
        if (std::isalnum(c)) id.push_back(static_cast<char>(c));
        else if (!id.empty() && id.back() != '_') id.push_back('_');
    }
    while (!id.empty() && id.back() == '_') id.pop_back();
    return id.empty() ? std::string("row") : id;
}

std::string Stem(const std::string& file) { return fs::path(file).stem().string(); }

void AddProblem(TManifest& m, int line, const std::string& what) {
    std::string text = "MANIFEST.tsv line ";
    text += std::to_string(line);
    text += ": ";
    text += what;
    m.Problems.push_back(text);
}

TManifest ReadManifest() {
    TManifest m;
    m.Dir = celtest::CorpusDir();
    if (m.Dir.empty()) return m;
    std::istringstream in(celtest::ReadFileBytes((fs::path(m.Dir) / "MANIFEST.tsv").string()));
    std::string line;
    std::map<std::string, size_t> column;
    int lineNo = 0;
    const char* const required[] = {"program", "input", "output", "cells", "pbrain", "comments",
                                    "executed", "note", "display_lines", "error"};
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::vector<std::string> f = SplitTabs(line);
        if (column.empty()) {
            for (size_t i = 0; i < f.size(); ++i) column[f[i]] = i;
            for (const char* name : required)
                if (!column.count(name)) AddProblem(m, lineNo, std::string("no column ") + name);
            if (!m.Problems.empty()) return m;
            continue;
        }
        if (f.size() != column.size()) {
            AddProblem(m, lineNo, "wrong number of fields");
            continue;
        }
        auto get = [&](const char* name) -> const std::string& { return f[column[name]]; };
        TCorpusRow row;
        row.Line = lineNo;
        row.Program = get("program");
        row.Input = get("input") == "-" ? std::string() : get("input");
        row.Output = get("output");
        row.Note = get("note");
        int cells = 0;
        int pbrain = 0;
        int comments = 0;
        bool ok = ParseNumber(get("cells"), cells) && (cells == 8 || cells == 16) &&
                  ParseNumber(get("pbrain"), pbrain) && ParseNumber(get("comments"), comments) &&
                  ParseNumber(get("display_lines"), row.DisplayLines) &&
                  ParseNumber(get("error"), row.Error);
        if (get("executed") != "-") {
            uint64_t executed = 0;
            ok = ok && ParseNumber(get("executed"), executed);
            row.Executed = executed;
        }
        if (!ok || row.Program.empty() || row.Output.empty()) {
            AddProblem(m, lineNo, "malformed row");
            continue;
        }
        row.Wide = cells == 16;
        row.PBrain = pbrain != 0;
        row.Comments = comments != 0;
        row.Heavy = row.Note.find("heavy") != std::string::npos;
        for (const std::string& file : {row.Program, row.Input, row.Output}) {
            if (!file.empty() && !fs::is_regular_file(fs::path(m.Dir) / file))
                AddProblem(m, lineNo, "missing file " + file);
        }
        m.Rows.push_back(row);
    }
    if (column.empty()) AddProblem(m, 1, "no header line");

    // Names: program and width; runs of one program in one width told apart by their output.
    std::map<std::string, int> uses;
    auto baseName = [](const TCorpusRow& r) {
        std::string name = Identifier(Stem(r.Program));
        name += r.Wide ? "_c16" : "_c8";
        return name;
    };
    for (const TCorpusRow& r : m.Rows) ++uses[baseName(r)];
    std::set<std::string> taken;
    for (TCorpusRow& r : m.Rows) {
        std::string name = baseName(r);
        if (uses[name] > 1) {
            // "PIdigits-50.c16.out" names the run PIdigits_50_c16.
            std::string output = Stem(r.Output);
            for (const char* width : {".c8", ".c16"}) {
                const std::string suffix(width);
                if (output.size() > suffix.size() &&
                    output.compare(output.size() - suffix.size(), suffix.size(), suffix) == 0)
                    output.resize(output.size() - suffix.size());
            }
            name = Identifier(output);
            name += r.Wide ? "_c16" : "_c8";
        }
        if (r.Heavy) name += "_Heavy";
        std::string unique = name;
        for (int n = 2; taken.count(unique); ++n) {
            unique = name;
            unique += '_';
            unique += std::to_string(n);
        }
        taken.insert(unique);
        r.Name = unique;
    }
    return m;
}

const TManifest& Manifest() {
    static const TManifest manifest = ReadManifest();
    return manifest;
}

std::string CorpusFile(const std::string& name) {
    return (fs::path(Manifest().Dir) / name).string();
}

// The output window's text for these output bytes, lines joined by LF: CR, LF, CR LF and LF CR
// each end one line, NUL bytes are dropped.
std::string WindowText(const std::string& bytes) {
    std::string text;
    unsigned char last = 0;
    for (unsigned char c : bytes) {
        const unsigned char previous = last;
        last = c;
        if ((c == '\n' && previous == '\r') || (c == '\r' && previous == '\n') || c == 0) {
            last = 0;
            continue;
        }
        text.push_back(c == '\r' ? '\n' : static_cast<char>(c));
    }
    return text;
}

size_t LineCount(const std::string& windowText) {
    return 1 + static_cast<size_t>(std::count(windowText.begin(), windowText.end(), '\n'));
}

celtest::TRunSetup SetupFor(const TCorpusRow& row) {
    celtest::TRunSetup setup;
    std::string text;
    EXPECT_TRUE(cel::ReadSourceFile(CorpusFile(row.Program), text)) << row.Program;
    setup.Text = std::move(text);
    setup.Wide = row.Wide;
    setup.ProcMode = row.PBrain;
    setup.CommentMarkers = row.Comments;
    if (!row.Input.empty()) setup.InputFileName = CorpusFile(row.Input);
    return setup;
}

// Where the whole corpus stands; the one test that exists even when the manifest cannot be read.
TEST(Corpus, ManifestIsFoundAndWellFormed) {
    const TManifest& m = Manifest();
    if (m.Dir.empty()) {
        const char* message =
            "program corpus not found: set CELLWRIGHT_CORPUS to the folder holding MANIFEST.tsv "
            "(or place it at ../shared/corpus beside the checkout)";
        if (celtest::UnderCI()) {
            FAIL() << message;
        }
        GTEST_SKIP() << message;
    }
    for (const std::string& p : m.Problems) ADD_FAILURE() << p;
    EXPECT_GT(m.Rows.size(), 0u) << "MANIFEST.tsv lists no runs";
}

// Every run on each form that runs at full speed.
class CorpusRun : public testing::TestWithParam<std::tuple<TCorpusRow, celtest::TForm>> {};

TEST_P(CorpusRun, MatchesExpectedOutput) {
    const TCorpusRow& row = std::get<0>(GetParam());
    const std::string expected = celtest::ReadFileBytes(CorpusFile(row.Output));
    celtest::TRunSetup setup = SetupFor(row);
    setup.Form = std::get<1>(GetParam());
    // The long runs take the output-file path alone; the window path costs a hand-off per
    // buffer and would double their time. The window path is the same code whatever the form,
    // and a megabyte of output waits a millisecond per buffer there (the pause that leaves the
    // GUI thread time to show it): such a run shows its output on the plain loop only.
    setup.OutputVisible = !row.Heavy && (expected.size() < 65536 || setup.Form == celtest::TForm::Plain);
    // Some programs print a megabyte into one line (the margin walks).
    setup.AppendInPlace = true;
    const celtest::TRunResult r = celtest::RunProgram(setup);
    ASSERT_TRUE(r.Finished) << "the run did not end in time";

    EXPECT_EQ(r.Error, row.Error);
    EXPECT_EQ(r.FileOutput.size(), expected.size());
    if (r.FileOutput != expected) {
        const size_t n = std::min(r.FileOutput.size(), expected.size());
        size_t at = 0;
        while (at < n && r.FileOutput[at] == expected[at]) ++at;
        ADD_FAILURE() << "output differs from " << row.Output << " first at byte " << at;
    }
    if (row.Executed) {
        EXPECT_EQ(r.Executed, *row.Executed);
    }

    if (!setup.OutputVisible) {
        // No window: the line count follows from the bytes written.
        EXPECT_EQ(r.OutputLines, 1u);
        EXPECT_EQ(LineCount(WindowText(r.FileOutput)), row.DisplayLines);
    } else {
        EXPECT_EQ(r.OutputLines, row.DisplayLines);
        const std::string window = WindowText(expected);
        EXPECT_TRUE(r.Output == window) << "output window text differs from the expected output "
                                           "with its line breaks and NULs as the window shows them";
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusRun, testing::Combine(testing::ValuesIn(Manifest().Rows), testing::ValuesIn(celtest::Forms)),
                         [](const testing::TestParamInfo<std::tuple<TCorpusRow, celtest::TForm>>& info) {
                             const celtest::TForm form = std::get<1>(info.param);
                             return std::string(form == celtest::TForm::Native ? "Native_"
                                                : form == celtest::TForm::Fast ? "Fast_"
                                                                               : "Plain_") +
                                    std::get<0>(info.param).Name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusRun);

// A few short runs again in single-command mode throughout (watch with no delay), and, where
// they read input, with that input typed instead of read from the file: the output and the
// executed-command count must not depend on the path taken.
std::vector<TCorpusRow> CrossCheckRows() {
    static const std::set<std::string> chosen = {
        "Hello_c8",        "OptimTease_c8",  "Endtest_c8",      "cristofd_endtest_c8",
        "Skiploop_c16",    "Precalc_c16",    "Tribit_c16",      "numwarp_c8",
        "pb_recursion_c8", "pb_redefine_c8", "pb_nested_c16",   "pb_illegal_c8",
        "cristofd_open_c8"};
    std::vector<TCorpusRow> rows;
    for (const TCorpusRow& r : Manifest().Rows)
        if (chosen.count(r.Name) && !r.Heavy) rows.push_back(r);
    return rows;
}

class CorpusSingleStep : public testing::TestWithParam<TCorpusRow> {};

TEST_P(CorpusSingleStep, SameAsFastMode) {
    const TCorpusRow& row = GetParam();
    const std::string expected = celtest::ReadFileBytes(CorpusFile(row.Output));
    celtest::TRunSetup setup = SetupFor(row);
    setup.OutputVisible = false;
    const celtest::TRunResult fast = celtest::RunProgram(setup);
    setup.SingleStep = true;
    const celtest::TRunResult single = celtest::RunProgram(setup);
    ASSERT_TRUE(fast.Finished);
    ASSERT_TRUE(single.Finished);
    EXPECT_TRUE(fast.FileOutput == expected);
    EXPECT_TRUE(single.FileOutput == fast.FileOutput);
    EXPECT_EQ(single.Executed, fast.Executed);
    EXPECT_EQ(single.Error, fast.Error);
    EXPECT_EQ(single.DataPtr, fast.DataPtr);
    EXPECT_TRUE(single.Tape == fast.Tape) << "final tapes differ";

    // The profile: counted on the folded loop as by single steps, adding up to the count.
    setup.Profile = true;
    const celtest::TRunResult profiled = celtest::RunProgram(setup);
    setup.SingleStep = false;
    const celtest::TRunResult profiledFast = celtest::RunProgram(setup);
    ASSERT_TRUE(profiled.Finished && profiledFast.Finished);
    EXPECT_EQ(profiledFast.Executed, fast.Executed);
    EXPECT_TRUE(profiledFast.FileOutput == expected);
    EXPECT_EQ(profiled.CommandCounts.empty(), fast.Executed == 0);
    EXPECT_TRUE(profiledFast.CommandCounts == profiled.CommandCounts) << "the profiles differ";
    uint64_t total = 0;
    for (const uint64_t n : profiledFast.CommandCounts) total += n;
    EXPECT_EQ(total, fast.Executed);
    EXPECT_TRUE(fast.CommandCounts.empty()) << "a run without the profile keeps none";

    if (!row.Input.empty()) {
        celtest::TRunSetup typed = SetupFor(row);
        typed.OutputVisible = false;
        typed.InputFileName.clear();
        typed.Input = celtest::ReadFileBytes(CorpusFile(row.Input));
        const celtest::TRunResult t = celtest::RunProgram(typed);
        ASSERT_TRUE(t.Finished);
        EXPECT_TRUE(t.FileOutput == expected) << "typed input gives other output than the input file";
        EXPECT_EQ(t.Executed, fast.Executed);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusSingleStep, testing::ValuesIn(CrossCheckRows()),
                         [](const testing::TestParamInfo<TCorpusRow>& info) { return info.param.Name; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusSingleStep);

}  // namespace
