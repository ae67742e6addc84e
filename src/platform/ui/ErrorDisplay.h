#pragma once
// The application's error display: the one catch point for errors that escape a window handler.

#include <QString>
#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace beamlink {

// The executable's file name up to its first dot, every character after the first in lower case.
QString applicationTitle(const QString& executablePath);
// A full stop is added when the last character sorts after '.'.
QString errorDisplayText(const std::string& message);

// A message box with a stop icon and OK, captioned with the application title.
void showException(const std::exception& error, QWidget* parent = nullptr);
// Runs a window handler; an escaping error is shown and the program goes on. Returns false
// when the handler failed.
bool runWindowHandler(const std::function<void()>& handler, QWidget* parent = nullptr);

}  // namespace beamlink
