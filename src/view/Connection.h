#pragma once
// A live connection: filling the view record when the device window opens, the
// connection thread that paces the conversation with the device, sending input, and
// ending the connection safely.
//
// Threads: OpenConnection, EndConnection, SendInputEvent and RequestRefresh run on
// the window (user-interface) thread. The connection thread is the only reader of
// the link once the connection is live; the window thread only sends whole messages
// that expect no reply. EndConnection returns once the thread has left every link
// call and has been joined; only then are the buffers freed and the link closed.

#include <cstdint>

#include "link/Links.h"
#include "settings/Profile.h"
#include "view/ViewGeometry.h"
#include "view/ViewRecord.h"

namespace sorvane {

// What a device window does for its connection. Called on the connection thread;
// the Qt window implements it with queued calls and never blocks the caller.
class ViewSink {
public:
    virtual ~ViewSink() = default;
    // A window area has new pixels (already mapped through scale, rotation, skin
    // offset and toolbar height).
    virtual void invalidate(int slot, const WindowRect& area) = 0;
    // The pictures were rebuilt: repaint everything.
    virtual void repaintAll(int slot) = 0;
    // The device ended the link: close the window (may come more than once).
    virtual void linkClosed(int slot) = 0;
    // Post a window command (40001 Refresh Display after a palette change).
    virtual void postCommand(int slot, int id) = 0;
};

// The handshake's frame-buffer step for a slot: copies the device facts and palette
// the handshake stored in the link slot into the view's screen state and builds the
// pictures. False when the device's display cannot be shown.
bool BuildConnectionBuffers(Links& links, Views& views, int slot);

// The non-window half of opening a device window, after a passing handshake: the
// view record takes the profile's settings (scale, and low colour where the flow
// sets it, were set by the connect flow), the mailbox starts at polling, the input
// queue is empty, the connection thread starts, and liveConnections grows by one.
// The window then fits itself and asks for a refresh (RequestRefresh).
void OpenConnection(Links& links, Views& views, int slot, const Profile& profile, int profileIndex,
                    ViewSink& sink);

// Ends a connection: the thread is told to stop and the link is shut down so that
// any receive returns, the thread is joined, the pictures and buffers are freed, the
// link is closed and the slot is free again (liveConnections shrinks by one).
// Harmless for a slot that is not live.
void EndConnection(Links& links, Views& views, int slot);

// Refresh Display: the connection thread sends 'Q' before its next poll and both
// reference frames start from zero.
void RequestRefresh(ViewRecord& view);

// Sends or queues one input packet. Dropped while a scenario plays on the connection;
// queued when the program-wide QueueEvents setting is on and the link is a WAN, LAN
// or proxy link (the connection thread sends the queue with its next poll); otherwise
// sent at once as one message.
void SendInputEvent(Links& links, ViewRecord& view, int slot, const InputPacket& packet, bool queueEvents);

// The connection thread's procedure (started by OpenConnection).
void ConnectionThread(Links& links, ViewRecord& view, int slot, ViewSink& sink);

} // namespace sorvane
