#pragma once
// What a connection tells its owner about its link: live once started, reconnecting
// while a dropped link is being dialled again, live again when the new link is in,
// closed exactly once when the link ends (the device closed it, it dropped and no
// reconnect is wanted, or the connection was stopped).
//
// Thread: called on the connection thread; an implementation must only queue work.

namespace sorvane {

enum class DeviceState { Connecting, Live, Reconnecting, Closed };

class ConnectionObserver {
public:
    virtual ~ConnectionObserver() = default;
    virtual void stateChanged(DeviceState state) = 0;
};

} // namespace sorvane
