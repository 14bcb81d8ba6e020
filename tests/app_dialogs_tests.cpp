// The dialogs of a person at the screen speak the desktop's language: Qt's
// own button texts come from Qt's translations for the locale.

#include "app/dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace zandorel::app;
using namespace Qt::StringLiterals;

namespace {

QString buttonText(QMessageBox::StandardButton which) {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    return box.button(which)->text().remove(u'&');
}

TEST(QtTranslations, AChineseDesktopGetsChineseButtons) {
    QTranslator* translator = InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China));
    ASSERT_NE(translator, nullptr);
    EXPECT_EQ(buttonText(QMessageBox::Ok), u"确定"_s);
    EXPECT_EQ(buttonText(QMessageBox::Cancel), u"取消"_s);
    // The input box's buttons too.
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove(u'&'), u"取消"_s);

    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(buttonText(QMessageBox::Ok), u"OK"_s);
}

TEST(QtTranslations, ALanguageQtDoesNotSpeakKeepsItsOwnTexts) {
    EXPECT_EQ(InstallQtTranslations(QLocale(QLocale::Zulu, QLocale::SouthAfrica)), nullptr);
    EXPECT_EQ(buttonText(QMessageBox::Ok), u"OK"_s);
}

} // namespace
