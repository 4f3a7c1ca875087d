// Fuzz target for the configuration import: arbitrary file contents.
// Invariants checked:
//  - a refusal names a line that exists (1 .. number of lines) and a reason;
//  - an accepted file gives values that all name a line of the file, in
//    order, none of them twice;
//  - the parse is the same a second time (no state between calls);
//  - the import's plan of an accepted file, with and without the
//    calibration, takes every value at most once, names a port of the
//    program or none, and a refusal names a key line that exists.
#include "app/ConfigImport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (char c : text) {
        if (c == '\n') ++lines;
    }
    ConfigFile file;
    ConfigError error;
    const bool ok = ParseConfiguration(text, &file, &error);
    ConfigFile again;
    ConfigError againError;
    Check(ParseConfiguration(text, &again, &againError) == ok, "same answer twice");
    if (!ok) {
        Check(error.line >= 1 && error.line <= lines, "the refused line exists");
        Check(!error.reason.empty(), "a refusal says why");
        Check(againError.line == error.line, "same line twice");
        Check(DescribeConfigError(error).size() <= 255, "the message is bounded");
        return 0;
    }
    int last = 0;
    for (size_t i = 0; i < file.values.size(); ++i) {
        const ConfigValue& v = file.values[i];
        Check(v.line > last && v.line <= lines, "values in the order of their lines");
        last = v.line;
        for (size_t j = 0; j < i; ++j) {
            Check(!(file.values[j].currentUser == v.currentUser && file.values[j].key == v.key &&
                    file.values[j].name == v.name),
                  "no value twice");
        }
    }
    Check(again.values.size() == file.values.size(), "same values twice");
    for (bool withCalibration : {false, true}) {
        ImportPlan plan;
        ConfigError planError;
        if (!PlanImport(text, file, withCalibration, &plan, &planError)) {
            Check(planError.line >= 1 && planError.line <= lines, "the refused key line exists");
            continue;
        }
        size_t taken = 0;
        bool userSeen = false;
        for (const ImportKey& k : plan.keys) {
            Check(!(userSeen && !k.currentUser), "the user's keys after the machine's");
            userSeen = userSeen || k.currentUser;
            taken += k.values.size();
        }
        Check(taken + static_cast<size_t>(plan.skippedCalibration + plan.skippedPositions) ==
                  file.values.size(),
              "every value taken or skipped, once");
        Check(plan.port >= -1 && plan.port < 8, "a port of the program or none");
    }
    return 0;
}
