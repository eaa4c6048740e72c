// The window's controls in their design state, the message log, the fixed size and the close
// confirmation; the real message box in Chinese.
#include "tests/window/WindowTestSupport.h"

#include "platform/qt/QtMessageDialog.h"
#include "platform/qt/QtTranslation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QSignalSpy>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

QString Caption(const QWidget* widget) {
    if (const auto* frame = qobject_cast<const QGroupBox*>(widget)) {
        return frame->title();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    return QStringLiteral("<no caption>");
}

TEST(FrmhomeDesign, ControlsCarryTheirNamesAndCaptions) {
    FrmhomeHarness h;
    const Frmhome& w = *h.window;
    const std::vector<std::pair<const char*, QString>> expected{
        {"Frame1", QStringLiteral("程序控制栏")}, {"Command1", QStringLiteral("获取代理")},
        {"Command8", QStringLiteral("代理测速")}, {"Command3", QStringLiteral("查询归属")},
        {"Command2", QStringLiteral("导出代理")}, {"Command5", QStringLiteral("启用代理")},
        {"Command6", QStringLiteral("关闭代理")}, {"Command4", QStringLiteral("退出程序")},
        {"Frame2", QStringLiteral("代理状态栏")}, {"lblproxymsg", QStringLiteral("代理状态")},
        {"Frame3", QStringLiteral("信息提示栏")}, {"Frame4", QStringLiteral("软件信息栏")},
        {"lbltitle", QStringLiteral("名称")},     {"lblversion", QStringLiteral("版本")},
        {"lblmsg1_0", QStringLiteral("功能")},    {"lblmsg1_1", QStringLiteral("设计")},
        {"lblmsg1_2", QStringLiteral("发布")},    {"lblmsg1_3", QStringLiteral("主页")},
    };
    for (const auto& [name, caption] : expected) {
        const auto* widget = w.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(Caption(widget), caption) << name;
    }
    EXPECT_EQ(w.windowTitle(), QStringLiteral("【Tolvaren】"));
    EXPECT_EQ(w.objectName(), QStringLiteral("Frmhome"));
    EXPECT_NE(w.findChild<QListWidget*>(QStringLiteral("List1")), nullptr);
    EXPECT_NE(w.findChild<QListWidget*>(QStringLiteral("List2")), nullptr);
    // Buttons sit in the controls frame, the log in the messages frame.
    const WindowDriver ui = h.Ui();
    EXPECT_EQ(ui.Find("Command4").parentWidget(), &ui.Find("Frame1"));
    EXPECT_EQ(ui.Find("List1").parentWidget(), &ui.Find("Frame1"));
    EXPECT_EQ(ui.Find("List2").parentWidget(), &ui.Find("Frame3"));
    EXPECT_EQ(ui.Find("lblproxymsg").parentWidget(), &ui.Find("Frame2"));
    // No label is left to guess whether its text is markup.
    for (const QLabel* label : w.findChildren<QLabel*>()) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
    }
}

TEST_F(StartedWindowTest, ListToolTipsShowMarkupAsText) {
    SelectEntry(QStringLiteral("1.2.3.4:80"));
    const QString markup = QStringLiteral("<font size=6 color=red>已启用</font>");
    auto& list = Ui().Find<QListWidget>("List1");
    list.item(0)->setToolTip(markup);
    const QPoint at = list.visualItemRect(list.item(0)).center();
    QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &help);
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("&gt;已启用&lt;/font&gt;")))
        << QToolTip::text().toStdString();
    EXPECT_FALSE(QToolTip::text().contains(QStringLiteral("<font")));
    EXPECT_EQ(list.item(0)->toolTip(), markup);
    QToolTip::hideText();
}

TEST(FrmhomeDesign, TabGoesThroughTheButtonsThenTheTwoLists) {
    FrmhomeHarness h;
    QWidget* const first = &h.Ui().Find("Command1");
    QStringList order;
    QWidget* widget = first;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->window() == h.window.get()) {
            order << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != first && order.size() < 50);
    const QStringList expected{"Command1", "Command8", "Command3", "Command2", "Command5",
                               "Command6", "Command4", "List1",    "List2"};
    EXPECT_EQ(order, expected);
}

TEST(FrmhomeDesign, StartsIdleWithTheMonitorRunning) {
    FrmhomeHarness h;
    const WindowDriver ui = h.Ui();
    for (const char* button :
         {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6", "Command8"}) {
        EXPECT_TRUE(ui.IsEnabled(button)) << button;
    }
    EXPECT_TRUE(ui.IsRunning("Timer1"));
    EXPECT_EQ(ui.Find<QTimer>("Timer1").interval(), 1000);
    EXPECT_FALSE(ui.IsRunning("Timer5"));
    EXPECT_EQ(ui.Find<QTimer>("Timer5").interval(), 100);
    EXPECT_EQ(ui.Find<QTimer>("Timer5").timerType(), Qt::PreciseTimer);
    EXPECT_TRUE(h.Entries().isEmpty());
    EXPECT_TRUE(h.Log().isEmpty());
    EXPECT_EQ(ui.Find<QListWidget>("List1").selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(ui.Find<QListWidget>("List1").isSortingEnabled());
    // No proxy is selected or switched to, and the speed-test count starts from nothing: 150
    // ticks stay within the limit.
    EXPECT_TRUE(h.registry.Calls().empty());
    ui.Click("Command5");
    EXPECT_EQ(h.Log(), QStringList{QStringLiteral("代理启用失败,您未选择代理服务器.")});
    EXPECT_TRUE(h.registry.Calls().empty());
    ui.Tick("Timer5", 150);
    EXPECT_EQ(h.Log().size(), 1);
}

TEST(FrmhomeDesign, KeepsItsDesignSize) {
    FrmhomeHarness h;
    Frmhome& w = *h.window;
    const QSize design(552, 387); // 8280 x 5805 twips
    EXPECT_EQ(w.minimumSize(), design);
    EXPECT_EQ(w.maximumSize(), design);
    w.show();
    w.resize(800, 600);
    EXPECT_EQ(w.size(), design);
    w.showMinimized();
    w.showNormal();
    EXPECT_EQ(w.size(), design);
}

TEST(MessageLog, NewLineIsSelectedEvenWhenTheUserPickedAnOlderOne) {
    FrmhomeHarness h;
    Frmhome& w = *h.window;
    w.show();
    w.AppendLog(QStringLiteral("first"));
    w.AppendLog(QStringLiteral("second"));
    const WindowDriver ui = h.Ui();
    EXPECT_EQ(ui.CurrentRow("List2"), 1);

    ui.Select(0, "List2");
    ASSERT_EQ(ui.CurrentRow("List2"), 0);
    w.AppendLog(QStringLiteral("third "));

    EXPECT_EQ(h.Log(), (QStringList{"first", "second", "third "}))
        << "lines are kept exactly, blanks included";
    EXPECT_EQ(ui.CurrentRow("List2"), 2);
    const auto selected = ui.Find<QListWidget>("List2").selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first()->text(), QStringLiteral("third "));
}

TEST(MessageLog, RepeatedLinesStaySeparate) {
    FrmhomeHarness h;
    for (int i = 0; i < 3; ++i) {
        h.window->AppendLog(QStringLiteral("same"));
    }
    EXPECT_EQ(h.Log(), (QStringList{"same", "same", "same"}));
    EXPECT_EQ(h.Ui().CurrentRow("List2"), 2);
}

// --- closing: every request asks; Cancel leaves all as it was, OK ends once

enum class CloseSource { ExitButton, CloseBox };

struct CloseCase {
    const char* name;
    CloseSource source;
    MessageAnswer answer;
};

class CloseConfirmation : public StartedWindowTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseConfirmation, AsksAndEndsOnlyOnOk) {
    const CloseCase& c = GetParam();
    SelectEntry({QStringLiteral("1.1.1.1:80"), QStringLiteral("2.2.2.2:8080")}, 1);
    const QStringList entriesBefore = h.Entries();
    const QStringList logBefore = h.Log();
    h.messageDialog.QueueAnswer(c.answer);

    if (c.source == CloseSource::ExitButton) {
        Ui().Click("Command4");
    } else {
        W().close();
    }

    ASSERT_EQ(h.messageDialog.Shown().size(), 1u);
    const ShownMessage& box = h.messageDialog.Shown()[0];
    EXPECT_EQ(box.text, QStringLiteral("您是否确定退出程序?"));
    EXPECT_EQ(box.title, QStringLiteral("退出提示"));
    EXPECT_EQ(box.icon, MessageIcon::Question);
    EXPECT_EQ(box.buttons, MessageButtons::OkCancel);
    EXPECT_EQ(h.Log(), logBefore) << "closing logs nothing";
    EXPECT_TRUE(h.registry.Calls().empty()) << "closing leaves the system proxy alone";
    if (c.answer == MessageAnswer::Ok) {
        EXPECT_EQ(h.terminator.Ends(), 1);
    } else {
        EXPECT_EQ(h.terminator.Ends(), 0);
        EXPECT_TRUE(W().isVisible());
        EXPECT_EQ(h.Entries(), entriesBefore);
        EXPECT_EQ(Ui().CurrentRow("List1"), 1);
        EXPECT_TRUE(Ui().IsRunning("Timer1"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Exit, CloseConfirmation,
    ::testing::Values(CloseCase{"ExitButtonCancel", CloseSource::ExitButton, MessageAnswer::Cancel},
                      CloseCase{"ExitButtonOk", CloseSource::ExitButton, MessageAnswer::Ok},
                      CloseCase{"CloseBoxCancel", CloseSource::CloseBox, MessageAnswer::Cancel},
                      CloseCase{"CloseBoxOk", CloseSource::CloseBox, MessageAnswer::Ok}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartedWindowTest, CancelledCloseCanBeAskedAgain) {
    h.messageDialog.QueueAnswer(MessageAnswer::Cancel);
    h.messageDialog.QueueAnswer(MessageAnswer::Ok);
    Ui().Click("Command4");
    EXPECT_EQ(h.terminator.Ends(), 0);
    Ui().Click("Command4");
    EXPECT_EQ(h.messageDialog.Shown().size(), 2u);
    EXPECT_EQ(h.terminator.Ends(), 1);
}

// --- the real box: Qt's button captions in Chinese, whatever the locale; each pressed by its caption

struct BoxButtonCase {
    const char* name;
    QString caption;
    MessageAnswer answer;
};

class ChineseBox : public ::testing::TestWithParam<BoxButtonCase> {};

TEST_P(ChineseBox, ButtonPressedByItsCaption) {
    ASSERT_TRUE(InstallQtTranslation());
    QtMessageDialog dialog(std::make_shared<DialogOwner>());
    QStringList captions;
    Qt::TextFormat format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        format = box->textFormat();
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            captions << button->text();
            chosen = button->text() == GetParam().caption ? button : chosen;
        }
        chosen ? chosen->click() : box->done(-1);
    });
    EXPECT_EQ(dialog.Show(QStringLiteral("您是否确定退出程序?"), QStringLiteral("退出提示"),
                          MessageIcon::Question, MessageButtons::OkCancel),
              GetParam().answer);
    EXPECT_TRUE(captions.contains(GetParam().caption)) << captions.join(u' ').toStdString();
    EXPECT_EQ(format, Qt::PlainText) << "a message may quote outside text";
}

INSTANTIATE_TEST_SUITE_P(Buttons, ChineseBox,
                         ::testing::Values(BoxButtonCase{"Ok", QStringLiteral("确定"), MessageAnswer::Ok},
                                           BoxButtonCase{"Cancel", QStringLiteral("取消"),
                                                         MessageAnswer::Cancel}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestrovan::test
