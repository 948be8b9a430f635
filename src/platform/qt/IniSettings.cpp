#include "platform/qt/IniSettings.h"

#include <QDir>
#include <QSettings>
#include <QString>

namespace zorvane::qt {
namespace {

QString ConfigHome() {
    // XDG base directories: a relative value is invalid and ignored.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString KeyPath(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + u'/' + QString::fromStdString(key);
}

} // namespace

std::string SettingsFile(const std::string& app) {
    const QString name = QString::fromStdString(app);
    return (ConfigHome() + u'/' + name + u'/' + name + QStringLiteral(".conf")).toStdString();
}

std::optional<std::string> ReadSetting(const std::string& app, const std::string& section,
                                       const std::string& key) {
    const QSettings settings(QString::fromStdString(SettingsFile(app)), QSettings::IniFormat);
    const QVariant value = settings.value(KeyPath(section, key));
    // An INI value with an unquoted comma reads as a list: not text.
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString().toStdString();
}

bool WriteSetting(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& text) {
    QSettings settings(QString::fromStdString(SettingsFile(app)), QSettings::IniFormat);
    settings.setValue(KeyPath(section, key), QString::fromStdString(text));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace zorvane::qt
