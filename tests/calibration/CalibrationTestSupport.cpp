#include "CalibrationTestSupport.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/AppContext.h"
#include "calibration/CalibrationWindow.h"
#include "controller/ControllerTestSupport.h"

namespace {

constexpr int kPort = 5; // COM5
constexpr const char* kDriverPageClass = "CalibrationTestDriverPage";

std::vector<LPARAM> g_notices;

LRESULT CALLBACK DriverPageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND && LOWORD(wParam) == CMD_ROTATION_CHANGED) {
        g_notices.push_back(lParam);
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND g_driverPage = nullptr;

HWND LocateDriverPage()
{
    return g_driverPage;
}

void RegisterClasses(HINSTANCE instance)
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    // As start-up registers it.
    WNDCLASSEXA calibration = {};
    calibration.cbSize = sizeof calibration;
    calibration.style = CS_HREDRAW | CS_VREDRAW;
    calibration.lpfnWndProc = &CalibrationWndProc;
    calibration.hInstance = instance;
    calibration.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    calibration.lpszClassName = kCalibrationClassName;
    ::RegisterClassExA(&calibration);
    WNDCLASSEXA page = {};
    page.cbSize = sizeof page;
    page.lpfnWndProc = &DriverPageProc;
    page.hInstance = instance;
    page.lpszClassName = kDriverPageClass;
    ::RegisterClassExA(&page);
}

int32_t Raw(int32_t pixel, int32_t size)
{
    const int32_t raw = pixel * 1024 / size;
    return raw < 0 ? 0 : (raw > 4095 ? 4095 : raw);
}

} // namespace

std::vector<LPARAM>& RotationNotices()
{
    return g_notices;
}

void CalibrationBench::SetUp()
{
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    RegisterClasses(instance);
    App().instance = instance;
    W = ::GetSystemMetrics(SM_CXSCREEN);
    H = ::GetSystemMetrics(SM_CYSCREEN);

    ClearControllerRegistry();
    DevSim::Options o;
    o.port = kPort;
    ASSERT_TRUE(sim.Start(o)) << sim.LastError();
    channel = std::make_unique<CommProtocol2>(kPort - 1, false);
    ASSERT_TRUE(channel->Open());
    ctrl = std::make_unique<ZMR02Ctrl>();
    CloseThreadBoxes(); // the notice about the defaults written
    App().ident = IdentRecord{2, 1, 30};
    App().channel = channel.get();
    App().controller = ctrl.get();
    App().controllerModel = ctrl->m_nType;
    channel->SetListener(ctrl.get());

    settings = ::CreateWindowExA(0, "STATIC", "Touch device", WS_POPUP, 0, 0, 400, 400, nullptr, nullptr,
                                 instance, nullptr);
    tab = ::CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE, 8, 8, 380, 340, settings,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(1040)), instance, nullptr);
    App().settingsWindow = settings;
    driverPage = ::CreateWindowExA(0, kDriverPageClass, "", WS_CHILD, 0, 0, 10, 10, settings, nullptr,
                                   instance, nullptr);
    g_driverPage = driverPage;
    SetDriverPageLocator(&LocateDriverPage);
    g_notices.clear();
    sim.ClearReceived();
}

void CalibrationBench::TearDown()
{
    if (HWND open = OpenFullScreenWindow()) ::DestroyWindow(open);
    SetDriverPageLocator(nullptr);
    g_driverPage = nullptr;
    if (settings != nullptr) ::DestroyWindow(settings);
    App().settingsWindow = nullptr;
    if (channel) channel->ClearListener();
    App().controller = nullptr;
    App().controllerModel = -1;
    App().channel = nullptr;
    ctrl.reset();
    if (channel) channel->Close();
    channel.reset();
    sim.Stop();
    App().ident = IdentRecord{};
    ClearControllerRegistry();
    CloseThreadBoxes();
}

bool CalibrationBench::PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        PumpMessages();
        if (done()) return true;
        if (static_cast<int>(::GetTickCount() - start) > timeoutMs) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void CalibrationBench::Press(CalPoint p)
{
    ASSERT_TRUE(sim.Command("touch " + std::to_string(Raw(p.x, W)) + " " + std::to_string(Raw(p.y, H))));
}

void CalibrationBench::Lift()
{
    ASSERT_TRUE(sim.Command("release"));
}

void CalibrationBench::TouchCross(CalPoint p, int64_t next)
{
    const uint32_t step = CalibrationRunStep();
    const RunLayout l = CalibrationRunLayout();
    ASSERT_NO_FATAL_FAILURE(Press(p));
    ASSERT_TRUE(PumpUntil([&] { return CalibrationRunStep() == step + 1; }, 3000))
        << "press at step " << step;
    ASSERT_NO_FATAL_FAILURE(Lift());
    if (next < 0) {
        // The last lift leads to the computation at the next paint.
        next = step + 2;
        if (next == ComputingStep(l)) next = l.check ? CheckShownStep(l) : ConfirmingStep(l);
        if (l.check && step == CheckShownStep(l)) next = ConfirmingStep(l);
    }
    ASSERT_TRUE(PumpUntil([&] { return CalibrationRunStep() == static_cast<uint32_t>(next); }, 3000))
        << "lift at step " << step << ", now at " << CalibrationRunStep();
    // A press within the bounce time of this lift would be ignored.
    PumpUntil([] { return false; }, 250);
}

void CalibrationBench::WaitCursorNear(CalPoint p)
{
    POINT at = {};
    const bool landed = PumpUntil(
        [&] {
            ::GetCursorPos(&at);
            return std::abs(at.x - p.x) <= 2 && std::abs(at.y - p.y) <= 2;
        },
        2000);
    EXPECT_TRUE(landed) << "aimed at (" << p.x << ", " << p.y << "), landed at (" << at.x << ", " << at.y
                        << ")";
}

void SaveScreenshot(const char* name)
{
    const char* dir = std::getenv("TP_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == '\0') return;
    const int w = ::GetSystemMetrics(SM_CXSCREEN);
    const int h = ::GetSystemMetrics(SM_CYSCREEN);
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap =
        ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
    const std::string path = WinePathOf(std::string(dir) + "/" + name);
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(bits, stride, static_cast<size_t>(h), out);
        std::fclose(out);
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}
