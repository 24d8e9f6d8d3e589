#pragma once

// How the windows show an error that reached a handler: a message box over the window, or a
// replacement set by tests.

#include <QString>
#include <functional>

class QWidget;

// Shows an error that reached a handler; Owner is the window it happened in.
using TErrorHandler = std::function<void(QWidget* Owner, const QString& Message)>;

void ShowErrorMessage(QWidget* Owner, const QString& Message);
// Replaces the message box (an empty function restores it); returns the previous handler.
TErrorHandler SetErrorHandler(TErrorHandler Handler);
