// Small conversions that the window's files share.
#pragma once

#include <filesystem>
#include <string>

#include <QFile>
#include <QLocale>
#include <QString>

#include "app/DecimalSeparator.h"

namespace tarvel::ui {

// The property that carries a widget's help topic; F1 looks for it from the
// focus outwards.
inline constexpr const char* kHelpContext = "helpContext";

// A menu or tab caption shows '&' as a mnemonic marker unless it is doubled.
inline QString menuCaption(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return escaped;
}

inline std::filesystem::path localPath(const QString& fileName)
{
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
}

// The decimal separator of the figures in messages and CSV files.
inline char userDecimalSeparator()
{
    return app::decimalSeparatorFor(QLocale().decimalPoint().toStdString());
}

inline QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tarvel::ui
