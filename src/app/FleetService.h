#pragma once
// Commands the Devices window runs on its selected devices (by slot): a scenario on
// each at once, a still capture of each, the same files sent to each, a soft reset of
// each. A device that fails is reported once at the end; the others are unharmed.
//
// Thread: user-interface thread.

#include <vector>

class QWidget;

namespace sorvane {

class FleetService {
public:
    virtual ~FleetService() = default;
    // Asks which scenario, then plays it on every slot (each run with its own results log).
    virtual void runScenario(QWidget* parent, const std::vector<int>& slots) = 0;
    // Asks for a folder, then captures every slot's screen into it.
    virtual void captureAll(QWidget* parent, const std::vector<int>& slots) = 0;
    // Asks for PC files and a device folder, then sends them to every slot.
    virtual void sendFiles(QWidget* parent, const std::vector<int>& slots) = 0;
    // One confirmation, then a soft reset of every slot.
    virtual void softResetAll(QWidget* parent, const std::vector<int>& slots) = 0;
};

} // namespace sorvane
