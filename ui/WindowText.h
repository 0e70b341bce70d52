// Small conversions that the window's files share.
#pragma once

#include <cmath>
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

// A figure as the window shows it: the user's decimal separator, no group
// separator ("2976,348", never "2,976.348", which a Russian reader takes for
// 2.976); a value that is not finite shows as a dash.
inline QString userFigure(double value, int decimals)
{
    if (!std::isfinite(value))
        return QStringLiteral("—");
    QString text = QString::number(value, 'f', decimals);
    if (userDecimalSeparator() == ',')
        text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

// The locale of the figures that the toolkit writes itself (the chart's
// axes): the same separator, no group separator.
inline QLocale figureLocale()
{
    QLocale locale = userDecimalSeparator() == ',' ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

inline QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tarvel::ui
