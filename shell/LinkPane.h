#pragma once

#include "net/LinkStatus.h"

#include <QString>

// What the status bar's last pane says about the trading link: the time of the last quote
// frame while the link is up, followed by the market's state when the server told one other
// than continuous trading, a red warning from the moment it broke until a re-login is
// accepted.
struct LinkPaneText {
    QString text;
    bool alarm = false; // drawn in red
};

LinkPaneText DescribeLink(const net::LinkStatus& status);
