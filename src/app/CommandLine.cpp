#include "app/CommandLine.h"

#include <cctype>
#include <cstddef>
#include <cstring>

#include "base/BoundedText.h"
#include "base/ObjectNames.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Our switches begin with '/' or '-' and are compared without case.
bool IsSwitch(const std::string& arg, const char* name)
{
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
    size_t i = 1;
    for (; name[i - 1] != '\0'; ++i) {
        if (i >= arg.size()) return false;
        if (std::tolower(static_cast<unsigned char>(arg[i])) != name[i - 1]) return false;
    }
    return i == arg.size();
}

} // namespace

std::vector<std::string> SplitCommandLine(const char* line)
{
    std::vector<std::string> args;
    if (line == nullptr) return args;
    const char* p = line;

    // The program's name: up to the first blank, or quoted, without escapes.
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"')
            ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && !IsBlank(*p))
            ++p;
    }

    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p == '\0') break;
        std::string arg;
        bool quoted = false;
        while (*p != '\0' && (quoted || !IsBlank(*p))) {
            if (*p == '\\') {
                size_t slashes = 0;
                while (*p == '\\') {
                    ++slashes;
                    ++p;
                }
                if (*p == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg += '"';
                        ++p;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (*p == '"') {
                if (quoted && p[1] == '"') {
                    arg += '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                arg += *p++;
            }
        }
        args.push_back(arg);
    }
    return args;
}

CommandRequest ParseCommandLine(const std::vector<std::string>& args)
{
    CommandRequest request;
    const auto job = [&request](CommandMode mode) {
        if (request.mode == CommandMode::Normal) {
            request.mode = mode;
            return true;
        }
        request.mode = CommandMode::BadUsage;
        request.problem = "only one of /export, /import, /calibrate, /status and /? at a time";
        return false;
    };
    bool withCalibration = false;
    bool checkOnly = false;
    bool machineOnly = false;
    std::vector<std::string> logArgs; // "/log FILE" as given
    for (size_t i = 0; i < args.size() && request.mode != CommandMode::BadUsage; ++i) {
        const std::string& arg = args[i];
        const bool takesFile = IsSwitch(arg, "export") || IsSwitch(arg, "import");
        const bool fileFollows = i + 1 < args.size() && !args[i + 1].empty();
        if (IsSwitch(arg, "log") && fileFollows) {
            logArgs = {arg, args[i + 1]};
            request.logFile = args[++i];
        } else if (takesFile && !fileFollows) {
            request.mode = CommandMode::BadUsage;
            request.problem = arg + " needs a file name";
            break;
        } else if (takesFile) {
            if (!job(IsSwitch(arg, "export") ? CommandMode::Export : CommandMode::Import)) break;
            request.file = args[++i];
        } else if (IsSwitch(arg, "calibrate")) {
            job(CommandMode::Calibrate);
        } else if (IsSwitch(arg, "status")) {
            job(CommandMode::Status);
        } else if (IsSwitch(arg, "?") || IsSwitch(arg, "help")) {
            job(CommandMode::Usage);
        } else if (IsSwitch(arg, "with-calibration")) {
            withCalibration = true;
        } else if (IsSwitch(arg, "check")) {
            checkOnly = true;
        } else if (IsSwitch(arg, "machine")) {
            machineOnly = true;
        } else {
            // Also a "/log" without its file: a launcher's, as before.
            request.ignored.push_back(arg);
        }
    }
    if (request.mode == CommandMode::Import) {
        request.withCalibration = withCalibration;
        request.checkOnly = checkOnly;
        request.machineOnly = machineOnly;
    }
    const bool importOption = withCalibration || checkOnly || machineOnly;
    if (request.mode != CommandMode::Normal && request.mode != CommandMode::BadUsage) {
        // A job's own line is the script's: anything else on it is a typing
        // error there, not a launcher's addition.
        if (!request.ignored.empty()) {
            request.problem = "unknown argument: " + request.ignored.front();
            request.mode = CommandMode::BadUsage;
        } else if (importOption && request.mode != CommandMode::Import) {
            request.problem = "/with-calibration, /check and /machine go with /import only";
            request.mode = CommandMode::BadUsage;
        } else if (checkOnly && machineOnly) {
            request.problem = "/check writes nothing: /machine does not go with it";
            request.mode = CommandMode::BadUsage;
        }
    } else if (request.mode == CommandMode::Normal) {
        std::vector<std::string> options;
        if (withCalibration) options.push_back("/with-calibration");
        if (checkOnly) options.push_back("/check");
        if (machineOnly) options.push_back("/machine");
        options.insert(options.end(), logArgs.begin(), logArgs.end());
        request.ignored.insert(request.ignored.begin(), options.begin(), options.end());
        request.logFile.clear();
    }
    return request;
}

const char* CommandUsageText()
{
    return "Usage: TactilePane.exe [command]\n"
           "  (none)                        start the touch driver\n"
           "  /export FILE                  write the configuration to FILE\n"
           "  /import FILE [/with-calibration] [/check | /machine]\n"
           "                                take the configuration from FILE (the calibration\n"
           "                                only with /with-calibration); /check: only check it;\n"
           "                                /machine: only the machine's values (installers)\n"
           "  /calibrate                    calibrate the touch screen (in the running program if\n"
           "                                there is one); ends when the user confirms or aborts\n"
           "  /status                       print the port, the models and whether the device answers\n"
           "  /?                            print this text\n"
           "  /log FILE                     with any of them: the output also appended to FILE\n"
           "Exit codes: 0 success, 2 bad usage, 3 bad file, 4 no rights, 5 device not answering,\n"
           "            6 program busy, 7 aborted by the user\n";
}

namespace {

const char* NameOr(const char* name, const char* none)
{
    return name != nullptr ? name : none;
}

} // namespace

std::string FormatStatusReport(const StatusReport& status)
{
    char text[kTextMax * 2] = {};
    char ident[64] = "none";
    if (status.hwId != 0)
        FormatBounded(ident, sizeof ident, "HW Id %d, SW Ver %d.%02d", status.hwId, status.majorSwVer,
                      status.minorSwVer);
    FormatBounded(text, sizeof text,
                  "Port: %s\nController: %s\nLCD: %s\nIdentification: %s\nDevice answers: %s\n"
                  "Program running: %s\n",
                  NameOr(ChannelName(status.port), "none"),
                  NameOr(ControllerModelName(status.controllerModel), "none"),
                  NameOr(LcdModelName(status.lcdModel), "none"), ident, status.answers ? "yes" : "no",
                  status.running ? "yes" : "no");
    return text;
}

bool DecodeCommandPacket(const void* data, size_t size, CommandPacket* out)
{
    if (data == nullptr || out == nullptr || size != sizeof(CommandPacket)) return false;
    std::memcpy(out, data, sizeof *out);
    if (std::memchr(out->file, '\0', sizeof out->file) == nullptr) return false;
    const auto mode = static_cast<CommandMode>(out->mode);
    if (mode != CommandMode::Export && mode != CommandMode::Import && mode != CommandMode::Status &&
        mode != CommandMode::Calibrate)
        return false;
    if (out->withCalibration > 1) return false;
    if ((mode == CommandMode::Export || mode == CommandMode::Import) && out->file[0] == '\0') return false;
    return true;
}
