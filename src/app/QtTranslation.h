#pragma once

class QCoreApplication;

namespace QtTranslation {

// Installs Qt's own Japanese texts (qtbase_ja.qm from Qt's translations
// folder, Debian's qt6-translations-l10n) on app, whatever the user's locale:
// the program speaks Japanese throughout, so the standard Open, Save As and
// overwrite dialogs and the OK/Cancel buttons must too. False when the
// translation is not installed; Qt's texts then stay English.
bool install(QCoreApplication& app);

} // namespace QtTranslation
