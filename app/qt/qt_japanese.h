#pragma once

// Qt's own texts (the buttons and labels of its folder picker and message boxes) in Japanese,
// like the window's.

class QTranslator;

// Loads Qt's Japanese translation into Translator and installs it in the application; the
// translation leaves the application with Translator. False when the translation is not
// installed on the machine: Qt's texts then stay English.
bool InstallQtJapanese(QTranslator& Translator);
