/* For test programs on the virtual scanner: puts it back as the program
 * found it, so that each test starts alike whatever ran before it (in one
 * process, in any order). */
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "vscanner_control.h"

extern char** environ;

namespace vscanner_testing {

/* The VSCANNER_* variables as at the first call are set again (others
 * removed), then the devices are made afresh from them: their scenes,
 * faults, controls and flash as configured. The number of devices, or -1
 * when the scanner is not loaded. */
inline int ResetScanner() {
    using Variables = std::vector<std::pair<std::string, std::string>>;
    auto current = [] {
        Variables vars;
        for (char** e = environ; *e; ++e) {
            const char* eq = std::strchr(*e, '=');
            if (eq && std::strncmp(*e, "VSCANNER_", 9) == 0)
                vars.emplace_back(std::string(*e, size_t(eq - *e)), eq + 1);
        }
        return vars;
    };
    static const Variables start = current();
    for (const auto& v : current())
        unsetenv(v.first.c_str());
    for (const auto& v : start)
        setenv(v.first.c_str(), v.second.c_str(), 1);
    auto reset = VSCANNER_LOOKUP(vscanner_reset);
    return reset ? reset(nullptr) : -1;
}

/* Resets the scanner before every test of the program, fixtures or not;
 * call once (e.g. to initialise an inline variable of a shared header). */
inline bool ResetBeforeEachTest() {
    class Listener : public testing::EmptyTestEventListener {
        void OnTestStart(const testing::TestInfo&) override { ResetScanner(); }
    };
    testing::UnitTest::GetInstance()->listeners().Append(new Listener);
    return true;
}

}  // namespace vscanner_testing
