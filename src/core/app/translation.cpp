#include "app/translation.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translation {

namespace {

void installQtTranslation(const QString& language)
{
    if (language.isEmpty())
        return;
    auto* qtTranslator = new QTranslator(QCoreApplication::instance());
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (qtTranslator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                           folder)) {
        qDebug() << "Qt translation" << qUtf8Printable(qtTranslator->filePath()) << "installed";
        QCoreApplication::installTranslator(qtTranslator);
        return;
    }
    qDebug() << "No Qt translation for" << language << "in" << qUtf8Printable(folder);
    delete qtTranslator;
}

} // namespace

bool install(QTranslator* translator, const QString& path)
{
    if (path.isEmpty()) {
        qDebug() << "Language file path is empty and default language is installed";
        return false;
    }
    if (!translator->load(path)) {
        qDebug() << qUtf8Printable(path) << "file not found. Language will be not installed";
        return false;
    }
    qDebug() << "Language file" << qUtf8Printable(path) << "found and installed";
    QCoreApplication::installTranslator(translator);
    installQtTranslation(translator->language());
    return true;
}

} // namespace Translation
