// The names the run-control tests (test_runcontrol, test_runtocursor, test_watch and
// test_properties) share: each brings them in with `using namespace celtest::runcontrol;`.
#pragma once

#include "test_reference.h"
#include "test_support.h"

#include <chrono>

namespace celtest::runcontrol {

using Clock = std::chrono::steady_clock;
using THost = celtest::TTestHost;
using celtest::ExpectFinishedAs;
using celtest::ExpectPausedAt;
using celtest::Join;
using celtest::Look;
using celtest::MarksOf;
using celtest::MenuDebug;
using celtest::MenuReset;
using celtest::MenuRun;
using celtest::MenuRunToCursor;
using celtest::MenuTrace;
using celtest::MenuWatch;
using celtest::Settle;
using celtest::SpinUntil;
using celtest::TRef;
using celtest::TSeen;
using celtest::Widths;

}  // namespace celtest::runcontrol
