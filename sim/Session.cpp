#include "Session.h"

#include "EventLog.h"
#include "StopSignal.h"

namespace sorvane::sim {

Agent::Ending serveConnection(SimContext& context, ByteLink& link, const std::string& description)
{
    const int id = context.nextConnection.fetch_add(1);
    context.log.line("connected " + std::to_string(id) + " " + description);
    Agent agent(context.options, link, context.log, context.stop, context.packets);
    Agent::Ending ending = agent.run();
    link.close();
    context.log.line("disconnected " + std::to_string(id));
    if (context.options.once)
        context.stop.request();
    return ending;
}

} // namespace sorvane::sim
