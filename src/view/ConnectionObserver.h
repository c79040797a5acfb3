#pragma once
// What a connection tells its owner about itself (the device table of the program).

namespace sorvane {

enum class DeviceState { Connecting, Live, Reconnecting, Closed };
// What a connection tells its owner about itself. Called on the connection thread; must only queue work.
class ConnectionObserver {
public:
    virtual ~ConnectionObserver() = default;
    virtual void stateChanged(DeviceState state) = 0;
};

} // namespace sorvane
