#include "app/ConfigImport.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "channel/PortList.h"
#include "controller/ModelTable.h"

namespace {

constexpr std::string_view kApplicationKey = "Software\\Mavrel\\TactilePane";
constexpr size_t kMaxErrorText = 255;

struct SectionSpec {
    const char* title;
    ConfigSection section;
    const char* rootName;
    const char* keyPrefix; // below the application key, up to the object's name
};

// The titles and roots exactly as the export writes them.
constexpr SectionSpec kSections[] = {
    {"Controller parameters.", ConfigSection::Controller, "HKEY_LOCAL_MACHINE", "Devices\\"},
    {"Driver parameters.", ConfigSection::Driver, "HKEY_LOCAL_MACHINE", "Devices\\"},
    {"Calibration parameters.", ConfigSection::Calibration, "HKEY_LOCAL_MACHINE", "Devices\\"},
    {"Lcd parameters.", ConfigSection::Lcd, "CURRENT_USER", "Lcds\\"},
    {"Channel parameters.", ConfigSection::Channel, "HKEY_LOCAL_MACHINE", "Channels\\"},
    {"Window position.", ConfigSection::WindowPosition, "HKEY_CURRENT_USER", ""},
    // Values added later, in the controller's key as the calibration.
    {"Calibration check and touch hold.", ConfigSection::Calibration, "HKEY_LOCAL_MACHINE", "Devices\\"},
};

// Sections the export writes for the reader's information only: what the
// system found (the touch screen's monitor) belongs to the machine, not to
// the configuration, and is not imported.
constexpr const char* kInformationSections[] = {"Touch screen monitor."};

constexpr const char* kDriverNames[] = {
    "MouseButton",
    "MouseButtonTopMost",
    "AssignedMouseButton",
    "Rotate",
    "SwapXY",
    "LcdTopMost",
    "TouchMode",
    "DoubleClickSize",
    "MinDoubleClickSize",
    "MaxDoubleClickSize",
    "DoubleClickTime",
    "MinDoubleClickTime",
    "MaxDoubleClickTime",
};
constexpr const char* kCalibrationNames[] = {"LineDirX",      "LineDirY",          "LineShiftX",
                                             "LineShiftY",    "MarkerDistance",    "CheckLimit",
                                             "CheckResidual", "CalibrationPoints", "HoldRightClick"};
// The calibration values that an import takes only on request.
constexpr const char* kPanelCalibrationNames[] = {"LineDirX",   "LineDirY",       "LineShiftX",
                                                  "LineShiftY", "MarkerDistance", "CheckResidual"};
constexpr const char* kLcdNames[] = {"Brightness", "MinBrightness", "MaxBrightness"};
constexpr const char* kChannelNames[] = {
    "RdIntTimeout", "RdTotTimeoutConst", "RdTotTimeoutMult", "WrTotTimeoutConst", "WrTotTimeoutMult",
    "ByteSize",     "BaudRate",          "Parity",           "CheckParity",       "ErrorChar",
    "StopBits",     "RdBufferSize",      "WrBufferSize",
};
constexpr const char* kLcdModels[] = {"Type1", "Type2", "Type3"};
// A parameter without limits of its own travels as one byte.
constexpr int64_t kByteMax = 255;

template <size_t N> bool Listed(const char* const (&names)[N], std::string_view name)
{
    for (const char* n : names) {
        if (name == n) return true;
    }
    return false;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool ParseHex(std::string_view s, uint32_t* out)
{
    if (s.empty() || s.size() > 8) return false;
    uint32_t v = 0;
    for (char c : s) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        v = v * 16 + digit;
    }
    *out = v;
    return true;
}

int ControllerModelNamed(std::string_view name)
{
    for (int m = 0; m < 4; ++m) {
        const ControllerModel* model = ControllerModelInfo(m);
        if (model != nullptr && name == model->name) return m;
    }
    return -1;
}

bool PortNamed(std::string_view name)
{
    if (name.size() < 4 || name.size() > 6 || name.substr(0, 3) != "COM") return false;
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    return name[3] != '0' && n >= 1 && n <= 255;
}

class Parser {
public:
    Parser(ConfigFile* out, ConfigError* error) : m_out(out), m_error(error) {}

    bool Line(int number, std::string_view raw)
    {
        m_number = number;
        m_raw = raw;
        const std::string_view line = Trim(raw);
        if (line.find('\0') != std::string_view::npos) return Fail("a line holds a NUL character");
        if (line.empty()) return true;
        if (number == 1) return true; // the header line, in the language of the message table

        if (line.rfind("ProductVersion:", 0) == 0) {
            if (m_sawVersion || m_spec != nullptr)
                return Fail("the version line is not where the export puts it");
            m_sawVersion = true;
            m_out->productVersion = std::string(Trim(line.substr(15)));
            return true;
        }
        for (const char* title : kInformationSections) {
            if (line == title) {
                m_spec = nullptr;
                m_skipping = true;
                m_inPortSection = false;
                return true;
            }
        }
        // The port's name is for the reader; the port itself travels in
        // the channel section. Skipped up to the next section.
        if (line == kPortSectionTitle) {
            m_spec = nullptr;
            m_skipping = false;
            m_inPortSection = true;
            return true;
        }
        for (const SectionSpec& spec : kSections) {
            if (line == spec.title) {
                m_skipping = false;
                m_inPortSection = false;
                m_spec = &spec;
                m_key.clear();
                m_haveKey = false;
                m_barKey.clear();
                return true;
            }
        }
        if (m_skipping) return true;
        if (m_inPortSection) {
            if (line.rfind("Name : ", 0) == 0 || line.rfind("Friendly name : ", 0) == 0) return true;
            return Fail("not a line of the serial port section");
        }
        if (m_spec == nullptr) return Fail("not a line of a configuration file");
        if (!m_haveKey) return KeyLine(line);
        if (m_spec->section == ConfigSection::WindowPosition) {
            if (line.rfind("LCD type:", 0) == 0) {
                const std::string_view model = Trim(line.substr(9));
                if (!Listed(kLcdModels, model)) return Fail("unknown LCD type");
                m_barKey = std::string(model);
                return true;
            }
            if (line == "Mini LCD") {
                m_barKey = "MiniLcd";
                return true;
            }
        }
        return ValueLine(line);
    }

    bool Finish()
    {
        if (m_spec != nullptr && !m_haveKey) return Fail("the section has no key line");
        if (!m_sawVersion) return Fail("no \"ProductVersion\" line: not a configuration file");
        return true;
    }

    bool Fail(const char* reason)
    {
        m_error->line = m_number;
        m_error->text = std::string(Trim(m_raw));
        m_error->reason = reason;
        return false;
    }

private:
    // "<root>\Software\Mavrel\TactilePane[\<prefix><object>] : "
    bool KeyLine(std::string_view line)
    {
        if (line.size() < 2 || line.substr(line.size() - 1) != ":")
            return Fail("a key line ends with \" : \"");
        std::string_view path = Trim(line.substr(0, line.size() - 1));
        const std::string_view root = m_spec->rootName;
        if (path.substr(0, root.size()) != root || path.substr(root.size(), 1) != "\\")
            return Fail("wrong registry root for this section");
        path.remove_prefix(root.size() + 1);
        if (path.substr(0, kApplicationKey.size()) != kApplicationKey)
            return Fail("not the application's key");
        path.remove_prefix(kApplicationKey.size());
        const std::string_view prefix = m_spec->keyPrefix;
        if (prefix.empty()) {
            if (!path.empty()) return Fail("not the application's key");
        } else {
            if (path.substr(0, 1) != "\\" || path.substr(1, prefix.size()) != prefix)
                return Fail("wrong key for this section");
            const std::string_view object = path.substr(1 + prefix.size());
            bool known = false;
            switch (m_spec->section) {
            case ConfigSection::Controller:
            case ConfigSection::Driver:
            case ConfigSection::Calibration:
                m_model = ControllerModelNamed(object);
                known = m_model >= 0;
                break;
            case ConfigSection::Lcd:
                known = Listed(kLcdModels, object);
                break;
            case ConfigSection::Channel:
                known = PortNamed(object);
                break;
            case ConfigSection::WindowPosition:
                break;
            }
            if (!known) return Fail("unknown device in the key");
            m_key = std::string(prefix) + std::string(object);
        }
        m_haveKey = true;
        m_keyLine = m_number;
        return true;
    }

    // "<name> : <hex>"
    bool ValueLine(std::string_view line)
    {
        const size_t colon = line.find(" : ");
        if (colon == std::string_view::npos) {
            if (line.back() == '.') return Fail("unknown section");
            return Fail("not a value line (\"name : value\")");
        }
        const std::string_view name = Trim(line.substr(0, colon));
        uint32_t value = 0;
        if (!ParseHex(Trim(line.substr(colon + 3)), &value))
            return Fail("the value is not a hexadecimal number of at most eight digits");

        std::string key = m_key;
        switch (m_spec->section) {
        case ConfigSection::Controller:
            if (!ControllerValueOk(name, value)) return false;
            break;
        case ConfigSection::Driver:
            if (!Listed(kDriverNames, name)) return Fail("unknown driver value");
            break;
        case ConfigSection::Calibration:
            if (!Listed(kCalibrationNames, name)) return Fail("unknown calibration value");
            break;
        case ConfigSection::Lcd:
            if (!Listed(kLcdNames, name)) return Fail("unknown LCD value");
            break;
        case ConfigSection::Channel:
            if (!Listed(kChannelNames, name)) return Fail("unknown channel value");
            break;
        case ConfigSection::WindowPosition:
            if (m_barKey.empty()) return Fail("a position before its \"LCD type\" or \"Mini LCD\" line");
            if (name != "x" && name != "y") return Fail("unknown window-position value");
            key = m_barKey;
            break;
        }
        const bool currentUser =
            m_spec->section == ConfigSection::Lcd || m_spec->section == ConfigSection::WindowPosition;
        for (const ConfigValue& v : m_out->values) {
            if (v.currentUser == currentUser && v.key == key && v.name == name)
                return Fail("the value was given before");
        }
        m_out->values.push_back(
            ConfigValue{m_spec->section, currentUser, key, std::string(name), value, m_number, m_keyLine});
        return true;
    }

    bool ControllerValueOk(std::string_view name, uint32_t value)
    {
        const ControllerModel* model = ControllerModelInfo(m_model);
        if (model == nullptr) return Fail("unknown device in the key");
        for (int i = 0; i < kCtrlParamCount; ++i) {
            const CtrlParamInfo& p = model->params[i];
            const bool isValue = name == p.name;
            const bool isLimit = p.HasLimits() && (name == p.minName || name == p.maxName);
            if (!isValue && !isLimit) continue;
            const int64_t v = static_cast<int32_t>(value);
            const int64_t low = p.HasLimits() ? p.minimum : 0;
            const int64_t high = p.HasLimits() ? p.maximum : kByteMax;
            if (v < low || v > high) return Fail("outside the limits of this controller model");
            return true;
        }
        return Fail("unknown parameter of this controller model");
    }

    ConfigFile* m_out;
    ConfigError* m_error;
    int m_number = 0;
    std::string_view m_raw;
    bool m_sawVersion = false;
    bool m_inPortSection = false;
    const SectionSpec* m_spec = nullptr;
    bool m_skipping = false; // in an information section
    bool m_haveKey = false;
    int m_keyLine = 0;
    std::string m_key;
    std::string m_barKey;
    int m_model = -1;
};

} // namespace

bool ParseConfiguration(std::string_view text, ConfigFile* out, ConfigError* error)
{
    ConfigError ignored;
    if (error == nullptr) error = &ignored;
    *error = ConfigError{};
    if (out == nullptr) return false;
    *out = ConfigFile{};
    Parser parser(out, error);
    int number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find('\n', start);
        const std::string_view line =
            text.substr(start, end == std::string_view::npos ? text.size() - start : end - start);
        ++number;
        if (!parser.Line(number, line)) return false;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parser.Finish();
}

std::string DescribeConfigError(const ConfigError& error)
{
    std::string text = "line " + std::to_string(error.line) + ": " + error.text + ": " + error.reason;
    if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
    return text;
}

namespace {

std::string_view LineOfText(std::string_view text, int number)
{
    size_t start = 0;
    for (int n = 1; n < number; ++n) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) return {};
        start = end + 1;
    }
    const size_t end = text.find('\n', start);
    return Trim(text.substr(start, end == std::string_view::npos ? text.size() - start : end - start));
}

// "Devices\ZMR02" -> 1, "Lcds\Type2" -> 1, "Channels\COM3" -> 2; -1 else.
int ObjectIndexOf(const std::string& key, std::string_view prefix)
{
    if (key.rfind(prefix, 0) != 0) return -1;
    const std::string_view object = std::string_view(key).substr(prefix.size());
    if (prefix == "Devices\\") return ControllerModelNamed(object);
    if (prefix == "Lcds\\") {
        for (int i = 0; i < 3; ++i)
            if (object == kLcdModels[i]) return i;
        return -1;
    }
    if (!PortNamed(object)) return -1;
    return PortNumber(std::string(object)) - 1;
}

void AddOnce(std::vector<int>& list, int item)
{
    for (int i : list)
        if (i == item) return;
    list.push_back(item);
}

} // namespace

bool PlanImport(std::string_view text, const ConfigFile& file, bool withCalibration, ImportPlan* plan,
                ConfigError* error)
{
    ConfigError ignored;
    if (error == nullptr) error = &ignored;
    if (plan == nullptr) return false;
    *plan = ImportPlan{};
    const auto fail = [&](const ConfigValue& v, const char* reason) {
        error->line = v.keyLine;
        error->text = std::string(LineOfText(text, v.keyLine));
        error->reason = reason;
        return false;
    };
    int channelKeyLine = 0;
    for (const ConfigValue& v : file.values) {
        switch (v.section) {
        case ConfigSection::WindowPosition:
            ++plan->skippedPositions;
            continue;
        case ConfigSection::Calibration:
            // The mounting, the correction and the check's result belong to
            // one panel; the check limit, the points and the hold are
            // choices like the driver's and go with every import.
            if (!withCalibration && Listed(kPanelCalibrationNames, v.name)) {
                ++plan->skippedCalibration;
                continue;
            }
            AddOnce(plan->controllerModels, ObjectIndexOf(v.key, "Devices\\"));
            break;
        case ConfigSection::Controller:
        case ConfigSection::Driver:
            AddOnce(plan->controllerModels, ObjectIndexOf(v.key, "Devices\\"));
            break;
        case ConfigSection::Lcd:
            AddOnce(plan->lcdModels, ObjectIndexOf(v.key, "Lcds\\"));
            break;
        case ConfigSection::Channel: {
            const int port = ObjectIndexOf(v.key, "Channels\\");
            if (port < 0) return fail(v, "the program drives the ports COM1 to COM255 only");
            if (channelKeyLine != 0 && channelKeyLine != v.keyLine)
                return fail(v, "a second channel section: the file must name one port");
            channelKeyLine = v.keyLine;
            plan->port = port;
            break;
        }
        }
        ImportKey* target = nullptr;
        for (ImportKey& k : plan->keys) {
            if (k.currentUser == v.currentUser && k.key == v.key) target = &k;
        }
        if (target == nullptr) {
            plan->keys.push_back(ImportKey{v.currentUser, v.key, {}});
            target = &plan->keys.back();
        }
        target->values.push_back(&v);
    }
    std::stable_partition(plan->keys.begin(), plan->keys.end(),
                          [](const ImportKey& k) { return !k.currentUser; });
    return true;
}
