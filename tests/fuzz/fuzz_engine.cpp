// Arbitrary source bytes through the analysis and a bounded run, at full speed and watched.
// The first byte chooses the cell width, pbrain and comment markers; the next byte the input the
// program gets; the rest is the source.

#include "cel_HeadlessHost.h"
#include "cel_Interpreter8.h"
#include "cel_SourceText.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace {

// A run ends on its own or is terminated after this long.
constexpr auto RunBound = std::chrono::milliseconds(3);

void BoundedRun(const std::string& text, bool wide, bool pbrain, bool comments, bool watch, uint8_t input) {
    cel::THeadlessHost host;
    host.Options.Text = text;
    host.Options.ProcMode = pbrain;
    host.Options.CommentMarkers = comments;
    host.Options.Watch = watch;
    host.Options.OutputBufferSize = 1 + input % 255;
    host.MemoryWindowVisible = watch;
    int requests = 0;
    // Input requests get one byte each for a while, then the end of the input.
    host.OnRequestInput = [&] {
        if (++requests < 4) {
            host.Interpreter.DeliverLine(std::string(1, static_cast<char>(input + requests)), false);
        } else {
            host.Interpreter.DeliverEnd();
        }
    };
    host.StartRun(wide, false);
    if (!host.WaitFinished(static_cast<int>(RunBound.count()))) {
        host.Gui([&] {
            host.Interpreter.Terminate();
            host.Interpreter.Resume();
        });
        if (!host.WaitFinished(10000)) __builtin_trap();  // a run that cannot be ended
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t flags = data[0];
    const uint8_t input = data[1];
    const std::string text = cel::SourceTextFromBytes(
        std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
    const bool wide = flags & 1;
    const bool pbrain = flags & 2;
    const bool comments = flags & 4;

    // The analysis alone, as the list dump sees it.
    cel::THeadlessHost host;
    cel::TBFInterpreter8 engine(host);
    const int error = engine.Analyze(text, comments, pbrain);
    if (error == 0) {
        for (uint32_t i = 0; i < engine.GetFoldedCount(); ++i)
            if (engine.GetFoldedList()[i].Origin >= text.size()) __builtin_trap();
    }
    BoundedRun(text, wide, pbrain, comments, flags & 8, input);
    return 0;
}
