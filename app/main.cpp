#include "app/Application.h"
#include "app/Startup.h"
#include "platform/Clock.h"
#include "platform/EchoService.h"
#include "platform/HostInfo.h"
#include "platform/QtMessageBoxes.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/com/Com.h"

namespace {
// Until the echo service and the class registry are wired in.
class NoEcho final : public kestrion::platform::EchoService {
public:
    kestrion::platform::EchoOpenResult open() override {
        return {nullptr, "No echo service is built in yet."};
    }
};
class NoComponents final : public kestrion::com::ComponentFactory {
public:
    kestrion::com::HRESULT createInstance(const kestrion::com::GUID&, const kestrion::com::GUID&,
                                          void**) override {
        return kestrion::com::REGDB_E_CLASSNOTREG;
    }
};
} // namespace

int main(int argc, char** argv) {
    kestrion::app::Application app(argc, argv);
    NoEcho echo;
    kestrion::platform::QtMessageBoxes boxes;
    app.setMessageBoxes(&boxes);
    kestrion::platform::SystemClock clock;
    kestrion::platform::SystemHostInfo host;
    kestrion::platform::DesktopShell shell;
    kestrion::platform::SettingsStore settings;
    NoComponents components;
    return kestrion::app::Main({echo, boxes, clock, host, shell, settings, components,
                                kestrion::platform::AppPaths::forExecutable(app.applicationDirPath())});
}
