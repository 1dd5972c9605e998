#include "CrashConsoles.h"

#include "CrashHandler.h"
#include "UnitEditorFrame.h"

#include <algorithm>
#include <vector>

namespace {

struct TListedConsole {
    const TEditorFrame* Frame;
    TCrashConsole Console;
};

// In the order the consoles were opened, as their tabs are.
std::vector<TListedConsole> gListed;

void Publish()
{
    std::vector<TCrashConsole> consoles;
    consoles.reserve(gListed.size());
    for (const TListedConsole& listed : gListed)
        consoles.push_back(listed.Console);
    SetCrashConsoles(consoles);
}

void Update(const TEditorFrame* frame)
{
    const auto listed = std::find_if(gListed.begin(), gListed.end(),
                                     [frame](const TListedConsole& item) { return item.Frame == frame; });
    if (listed == gListed.end())
        return;
    const TConnectionInfo& info = frame->ConnectionInfo();
    listed->Console.Host = info.Host;
    listed->Console.Port = info.Port;
    listed->Console.User = info.User;
    listed->Console.ServerVersion = frame->ServerVersion();
    Publish();
}

} // namespace

void ListConsoleInCrashReports(TEditorFrame* frame)
{
    gListed.push_back({frame, {}});
    Update(frame);
    QObject::connect(frame, &TEditorFrame::BusyChanged, frame, [frame] { Update(frame); });
    // Only the address is compared once the frame is going.
    QObject::connect(frame, &QObject::destroyed, [frame] {
        std::erase_if(gListed, [frame](const TListedConsole& item) { return item.Frame == frame; });
        Publish();
    });
}
