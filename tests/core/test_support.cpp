#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include <algorithm>

namespace celtest {

std::string CorpusDir() {
    namespace fs = std::filesystem;
    if (const char* env = std::getenv("CELLWRIGHT_CORPUS"); env && *env) {
        if (fs::exists(fs::path(env) / "MANIFEST.tsv")) return env;
        return {};
    }
    const fs::path fallback(CELLWRIGHT_DEFAULT_CORPUS);
    if (fs::exists(fallback / "MANIFEST.tsv")) return fallback.string();
    return {};
}

bool UnderCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

std::string ReadFileBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    std::string bytes;
    char block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.append(block, n);
    std::fclose(f);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string TempPath(const std::string& stem) {
    static int counter = 0;
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    return (dir / ("cellwright-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) +
                   "-" + stem))
        .string();
}

namespace {

// Serves input like the command-line runner and records the first error.
class TTestHost final : public cel::THeadlessHost {
public:
    std::string Input;
    size_t InputPos = 0;
    int FirstError = 0;

    void ShowError(int code) override {
        THeadlessHost::ShowError(code);
        if (FirstError == 0) FirstError = code;
        if (code == 109) Interpreter.Terminate();
    }
    void RequestInput() override {
        THeadlessHost::RequestInput();
        if (InputPos >= Input.size()) {
            DisableInput();
            Interpreter.Resume();
            return;
        }
        const size_t n = std::min<size_t>(Input.size() - InputPos, cel::IOBlockSize);
        const std::string line = Input.substr(InputPos, n);
        InputPos += n;
        DeliverLine(line, false);
    }
};

}  // namespace

TRunResult RunProgram(const TRunSetup& setup, int timeoutMs) {
    TTestHost host;
    host.Input = setup.Input;
    host.Options.Text = setup.Text;
    host.Options.ProcMode = setup.ProcMode;
    host.Options.CommentMarkers = setup.CommentMarkers;
    host.Options.Watch = setup.SingleStep;
    host.Options.OutputVisible = setup.OutputVisible;
    host.Options.OutputBufferSize = setup.OutputBufferSize;
    host.Options.InputFileName = setup.InputFileName;
    std::string outPath;
    if (setup.CaptureFileOutput) {
        outPath = TempPath("out.bin");
        host.Options.OutputFileName = outPath;
    }
    host.StartRun(setup.Wide, false);
    TRunResult result;
    result.Finished = host.WaitFinished(timeoutMs);
    if (!result.Finished) {
        host.Interpreter.Terminate();
        host.Interpreter.Engine().WaitFor();
    }
    if (!outPath.empty()) {
        result.FileOutput = ReadFileBytes(outPath);
        std::remove(outPath.c_str());
    }
    result.Output = host.OutputText();
    result.OutputLines = std::max<size_t>(1, host.Lines.size());
    result.Executed = host.Interpreter.GetExecuted();
    result.DataPtr = host.Interpreter.GetDataPtr();
    result.Error = host.FirstError;
    result.Tape.resize(cel::TapeSize);
    for (uint32_t i = 0; i < cel::TapeSize; ++i)
        result.Tape[i] = host.Interpreter.GetCell(static_cast<uint16_t>(i));
    result.Events = host.Events;
    return result;
}

}  // namespace celtest
