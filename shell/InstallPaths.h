#pragma once

#include <QString>

// Where the client keeps client.ini and where it finds `update`. A portable copy keeps its
// ini beside the program; an installed one (a read-only /usr/bin) keeps it under the
// user's configuration folder.
struct IniLocation {
    QString path;    // where client.ini is read and written
    QString problem; // why that place cannot be written; empty when it can
};

// The ini beside the program when `programDir` accepts a new file, otherwise
// `configHome`/Tavix/client.ini (the folder is created here).
IniLocation ChooseIniLocation(const QString& programDir, const QString& configHome);

// ChooseIniLocation for the running client: its own folder, and $XDG_CONFIG_HOME
// (~/.config when unset or not absolute).
IniLocation ClientIniLocation();

// `update` beside `programDir` when it is there, else the first on PATH, else the path
// beside `programDir` (so a failed start names the place it was expected).
QString FindUpdater(const QString& programDir);
