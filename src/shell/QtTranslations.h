// Qt's own Russian texts for the standard buttons, file dialogs and their messages.
#pragma once

class QCoreApplication;

// Installs Qt's Russian translations (qtbase_ru from the system's Qt translations folder) into app,
// whatever the desktop's language, since every text of the program is Russian. The program's own
// texts are not translated: they are Russian already. False when the translations are not
// installed; the standard dialogs then stay in English and nothing else changes.
bool InstallQtTranslations(QCoreApplication& app);
