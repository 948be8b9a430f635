#pragma once

#include "app/Platform.h"

#include <QMessageBox>
#include <QString>

#include <string>

namespace zorvane::qt {

// "name|pattern|name|pattern" with ';' between patterns, as the program's texts hold
// it, to Qt's "name (pattern pattern);;...". A name that already shows its
// patterns in brackets keeps only the words before them.
QString QtFileFilter(const std::string& filter);

// The icon of a kind of message: none for a plain one.
QMessageBox::Icon MessageIcon(MessageKind kind);

// Message text with its CR LF line ends as Qt shows them.
QString MessageText(const std::string& text);

// What Ctrl+C in a message box copies, laid out as Windows copies its message
// boxes: title, text and button between dashed lines.
QString MessageCopyText(const QString& title, const QString& text);

} // namespace zorvane::qt
