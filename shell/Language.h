#pragma once

class QCoreApplication;

// The client speaks Chinese everywhere: Qt's own texts (dialog buttons, the file dialog,
// context menus) from Qt's Chinese translations, and dates, month and day names from the
// Chinese locale. Returns false when Qt's translations could not be loaded (the client's
// own texts are Chinese regardless).
bool InstallChineseLanguage(QCoreApplication& app);
