#include "platform/qt/Dialogs.h"

#include <QStringList>

namespace zorvane::qt {

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        // Qt reads the patterns from the last brackets of the name, split at blanks.
        if (name.endsWith(u')')) {
            if (const auto open = name.lastIndexOf(u'('); open > 0)
                name = name.left(open).trimmed();
        }
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        patterns.removeAll(QString());
        if (patterns.isEmpty())
            continue;
        filters << name + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

QMessageBox::Icon MessageIcon(MessageKind kind) {
    switch (kind) {
    case MessageKind::Critical:
        return QMessageBox::Critical;
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Plain:
        break;
    }
    return QMessageBox::NoIcon;
}

QString MessageText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

QString MessageCopyText(const QString& title, const QString& text) {
    const QString line = QStringLiteral("---------------------------\n");
    return line + title + u'\n' + line + text + u'\n' + line + QStringLiteral("OK\n") + line;
}

} // namespace zorvane::qt
