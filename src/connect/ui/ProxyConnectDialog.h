#pragma once
// "PROXYCONNECT", the Proxy Server dialog. Entry point for the Connect command (link
// kind 6):
//
//   void RunProxyConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex);
//
// On opening it asks the proxy at the profile's address and port for its device table.
// A port outside 1..65535 (the profile dialog takes 65536) is refused with "The proxy
// server's port must be a number from 1 to 65535"; no table (no connection in three
// attempts, a count outside 1..33, a table that breaks off) shows "Unable to connect to
// the proxy server" (caption "Error"); the dialog then closes. Otherwise the list shows
// one row per device the proxy has ("Device Name", "Connection": "Available" or the
// address of the client using it) and the first row is selected. Connect works on the
// selected rows in order: a row whose proxy connection fails is skipped; a refused open
// request shows "The connection attempt failed; the device may be in use" (caption
// "Error") and ends the Connect with the dialog open; a granted device gets the
// handshake on the same connection and its device window, with the profile's scale and
// low colour mode; the profile then remembers the row's name (rememberedDevice). When
// every row is done the dialog closes.
//
// A profile with an SSH gateway asks for the table and opens its rows through it
// (ProfileSshRoute), asking the user what the gateway wants once: the rows reuse what
// was given. A failure at the gateway shows its reason instead of the proxy's text (a
// changed host key with the Stop icon), nothing when the user cancelled its question.
//
// A profile index that is not in use, or all 33 slots live: a beep, no dialog.
// Thread: user-interface thread; modal.

#include <vector>

#include "connect/Dialer.h"
#include "connect/ProxyClient.h"
#include "connect/ui/DeviceListDialog.h"

namespace sorvane {

class ProxyConnectDialog final : public DeviceListDialog {
    Q_OBJECT
public:
    ProxyConnectDialog(QWidget* parent, ConnectContext& ctx, int profileIndex);

    bool tableArrived() const { return !records_.empty(); }

protected:
    void opened() override;
    void connectChosen() override;

private:
    struct Fetched {
        ProxyTable table;
        SshReport ssh;
        DialTarget target;
    };
    void tableFetched(Fetched fetched);
    void connectNext();
    // Shows why a dial failed at the gateway (nothing when the user cancelled); false
    // when it did not fail there.
    bool gatewayFailed(const SshReport& report);

    DialTarget target_; // the proxy and its route, as the table was fetched
    std::vector<LinkRecord> records_;
    std::vector<uint32_t> queue_; // table indexes still to connect in this Connect
};

void RunProxyConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex);

} // namespace sorvane
