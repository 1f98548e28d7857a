#pragma once
// The port error an action raises, as tests compare it.
#include "serial/VaTypes.h"

#include <functional>
#include <string>

// The text of the port error that action raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EVaCommError& e) {
        return e.what();
    }
    return "(no error)";
}
