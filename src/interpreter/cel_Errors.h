// The errors of a run, one row each: the structure errors the analysis finds (TProgram) and the
// ones a run meets on its way. Standard library only.
#pragma once

#include <string>

namespace cel {

// identifier (the enumerator is err<identifier>), the code the error box shows, and its message.
#define CEL_ERRORS(X)                                                                        \
    X(ClosingBracketExpected, 101, "Closing bracket expected.")                              \
    X(OpeningBracketExpected, 102, "Opening bracket expected.")                              \
    X(InputFileRead, 103, "Could not read input file.")                                      \
    X(OutputFileWrite, 104, "Could not write output file.")                                  \
    X(OutputWindow, 105,                                                                     \
      "Windows reported an error while printing the output. Execution cannot be continued.") \
    X(RightParenthesisExpected, 106, "Right parenthesis expected.")                          \
    X(LeftParenthesisExpected, 107, "Left parenthesis expected.")                            \
    X(IntersectingBrackets, 108, "Intersecting brackets.")                                   \
    X(IllegalCall, 109, "Illegal procedure call.")

// An unscoped enumeration: the host hooks and the runner take the code as an int.
enum TError : int {
    errNone = 0,
#define CEL_ERROR_ENUM(id, code, message) err##id = code,
    CEL_ERRORS(CEL_ERROR_ENUM)
#undef CEL_ERROR_ENUM
};

// The message of an error code; empty for a code that is no error.
inline const char* ErrorMessage(int code) {
    switch (code) {
#define CEL_ERROR_MESSAGE(id, code, message) \
    case err##id: return message;
        CEL_ERRORS(CEL_ERROR_MESSAGE)
#undef CEL_ERROR_MESSAGE
    default: return "";
    }
}

// "Error <code>: <message>" as the error box shows it.
inline std::string ErrorText(int code) {
    return "Error " + std::to_string(code) + ": " + ErrorMessage(code);
}

}  // namespace cel
