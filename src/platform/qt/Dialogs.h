#pragma once

#include <QMessageBox>
#include <QString>

#include <string>

namespace zorvane::qt {

// "name|pattern|name|pattern" with ';' between patterns, as the program gives
// it, to Qt's "name (pattern pattern);;...". A name that already shows its
// patterns in brackets keeps only the words before them.
QString QtFileFilter(const std::string& filter);

// The icon of a message box style: 16 critical, 32 question, 48 exclamation,
// 64 information; none otherwise.
QMessageBox::Icon MessageIcon(int style);

// Message text with its CR LF line ends as Qt shows them.
QString MessageText(const std::string& text);

// What Ctrl+C in a message box copies, laid out as Windows copies its message
// boxes: title, text and button between dashed lines.
QString MessageCopyText(const QString& title, const QString& text);

} // namespace zorvane::qt
