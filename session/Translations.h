#pragma once

class QCoreApplication;

// Loads Qt's own Japanese texts (standard buttons, file dialogs, command-line messages) from
// the translations Qt is installed with; false when they are not there, and the program runs on
// with Qt's English texts.
bool installQtTranslations(QCoreApplication& app);
