#include "events/key_event_signal.h"

#include "events/event_names.h"
#include "win/handles.h"

namespace events {
namespace {

struct SignalRow {
    KeyEvent kind;
    const wchar_t* names[2];  // in the order they are set
};

constexpr SignalRow kSignals[] = {
    {KeyEvent::Arrival, {kListenerArrivalEvent, kLibraryArrivalEvent}},
    {KeyEvent::Removal, {kListenerRemovalEvent, kLibraryRemovalEvent}},
};

}  // namespace

int SignalKeyEvent(KeyEvent kind) {
    int set = 0;
    for (const SignalRow& row : kSignals) {
        if (row.kind != kind) continue;
        for (const wchar_t* name : row.names) {
            win::Handle event(::OpenEventW(EVENT_ALL_ACCESS, FALSE, name));
            if (event && ::SetEvent(event.get())) ++set;
        }
    }
    return set;
}

}  // namespace events
