// Every skin over every window, judged by the rendered pixels: text against its own ground.
#include "app/mainform.h"
#include "cashbook/entrypanel.h"
#include "cashbook/printpreview.h"
#include "cashbook/printsettings.h"
#include "cashbook/printsetup.h"
#include "cashbook/recordgrid.h"
#include "export/progresswindow.h"
#include "help/findbar.h"
#include "help/guidewindow.h"
#include "maintenance/repairdb.h"
#include "skins/skins.h"
#include "testsupport.h"
#include "users/changepass.h"
#include "users/login.h"
#include "users/usergl.h"

#include <cmath>
#include <functional>
#include <map>

using namespace testsupport;

namespace {

double channel(int v)
{
    const double c = v / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double contrast(QRgb a, QRgb b)
{
    auto lum = [](QRgb c) {
        return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
    };
    const double la = lum(a), lb = lum(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The ground is the commonest colour of the area, the ink the pixel farthest from it.
struct Reading
{
    QRgb ground = 0, ink = 0;
    double ratio = 1;
    bool enabled = true;
};

Reading read(const QImage& image, const QRect& area)
{
    std::map<QRgb, int> counts;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    Reading result;
    int best = -1;
    for (const auto& [colour, n] : counts)
        if (n > best)
            best = n, result.ground = colour;
    for (const auto& entry : counts) {
        const double ratio = contrast(entry.first, result.ground);
        if (ratio > result.ratio)
            result.ratio = ratio, result.ink = entry.first;
    }
    return result;
}

// The text area of each label, field, box and tab in the window, keyed by a readable name.
struct Area
{
    QString name;
    QRect rect;
    QWidget* widget;
};

QList<Area> textAreas(QWidget* window)
{
    QList<Area> areas;
    auto add = [&](QWidget* w, const QString& text, QRect local) {
        if (text.trimmed().isEmpty() || !w->isVisibleTo(window) || local.width() < 4)
            return;
        // Only what shows: a scrolled-away panel has nothing to measure.
        local = local.intersected(w->visibleRegion().boundingRect());
        if (local.height() < 8)
            return;
        const QRect r(w->mapTo(window, local.topLeft()), local.size());
        areas.append(
            {QLatin1String(w->metaObject()->className()) + u' ' + w->objectName() + u' ' + text, r,
             w});
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QRect inner = w->rect().adjusted(3, 3, -3, -3);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            // The text only: a label moved into place keeps a default size over its neighbours.
            const QSize text =
                (label->sizeHint() - QSize(6, 0)).boundedTo(label->contentsRect().size());
            add(w, label->text(),
                QStyle::alignedRect(Qt::LeftToRight, label->alignment(), text,
                                    label->contentsRect()));
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            if (!qobject_cast<QAbstractSpinBox*>(w->parent()) &&
                !qobject_cast<QComboBox*>(w->parent()))
                add(w, edit->text(), inner);
        } else if (auto* combo = qobject_cast<QComboBox*>(w))
            add(w, combo->currentText(), inner.adjusted(0, 0, -18, 0));
        else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w))
            add(w, spin->text(), inner.adjusted(0, 0, -18, 0));
        else if (auto* box = qobject_cast<QAbstractButton*>(w);
                 box && (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)))
            add(w, box->text(), inner.adjusted(18, 0, 0, 0));
        else if (auto* tabs = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < tabs->count(); ++i)
                add(w, tabs->tabText(i), tabs->tabRect(i).adjusted(4, 4, -4, -2));
    }
    return areas;
}

QImage shot(QWidget* window)
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int countNear(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += near(image.pixel(x, y), colour, 2);
    return n;
}

} // namespace

class SkinsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowSession> m_session;
    double m_worst[2] = {21, 21}; // enabled, disabled

    QWidget* open(const QString& name)
    {
        TMainForm* main = MainForm;
        if (name == u"main" || name == u"entry") {
            main->Panel3->setVisible(name == u"entry");
            if (name == u"entry") {
                main->ToolButton7Click();
                main->Panel3->ComboBox3->setEditText(QStringLiteral("办公用品"));
                main->Panel3->ComboBox2->setEditText(QStringLiteral("光明文具店"));
                main->Panel3->Edit9->setText(QStringLiteral("320.5"));
                main->Panel3->Edit13->setText(QStringLiteral("320.5"));
                return main->Panel3;
            }
            main->Edit24->setText(QStringLiteral("房租"));
            return main;
        }
        QWidget* w = nullptr;
        if (name == u"login") {
            auto* login = new Tloginfm(main);
            login->ComboBox1->setEditText(QStringLiteral("超级管理员"));
            login->Edit1->setText(QStringLiteral("574"));
            w = login;
        } else if (name == u"usergl") {
            main->N13Click();
            w = main->userglfm;
            w->findChild<QLineEdit*>(QStringLiteral("Edit5"))->setText(QStringLiteral("张三"));
        } else if (name == u"changepass") {
            main->N15Click();
            w = main->changepassfm;
        } else if (name == u"backup") {
            main->ToolButton17Click();
            w = main->beifen;
        } else if (name == u"preview" || name == u"pagesetup") {
            main->ToolButton22Click();
            auto* preview = main->findChildren<TPreviewForm*>().constLast();
            w = preview;
            m_opened << preview;
            if (name == u"pagesetup")
                w = new TPrintSetupDialog(printSettings(main), preview->printer(), preview);
        } else if (name == u"guide") {
            main->guideClick();
            main->guideWindow->findBar->open();
            main->guideWindow->findBar->findEdit->setText(QStringLiteral("备份"));
            w = main->guideWindow;
        } else if (name == u"progress") {
            auto* progress = new ExportProgressWindow(40);
            progress->setPosition(10);
            w = progress;
        } else if (name == u"message") {
            w = new QMessageBox(QMessageBox::Warning, QStringLiteral("Warning"),
                                QStringLiteral("请输入收支类别！"), QMessageBox::Ok, main);
        } else if (name == u"filedialog") {
            auto* dialog = new QFileDialog(main, QStringLiteral("保存"), QDir::currentPath());
            dialog->setOption(QFileDialog::DontUseNativeDialog);
            w = dialog;
        }
        m_opened << w;
        w->show();
        return w;
    }

    QList<QPointer<QWidget>> m_opened;

    void closeAll()
    {
        for (const QPointer<QWidget>& w : std::as_const(m_opened))
            // Tool windows free themselves when closed; closing the login would end the run.
            if (w && w->testAttribute(Qt::WA_DeleteOnClose))
                w->close();
            else if (w)
                w->deleteLater();
        m_opened.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
        MainForm->Panel3->hide();
    }

private slots:
    void initTestCase()
    {
        m_session = std::make_unique<MainWindowSession>();
        for (int i = 0; i < 6; ++i)
            m_session->add(i % 2 ? QStringLiteral("支出") : QStringLiteral("收入"),
                           QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")),
                           QStringLiteral("房租"), QStringLiteral("华信公司"), i % 2 ? 0 : 100,
                           i % 2 ? 0 : 100, i % 2 ? 80 : 0, i % 2 ? 80 : 0);
        m_session->reload();
        MainForm->Button7Click();
    }

    void cleanupTestCase()
    {
        qInfo("worst contrast: enabled %.2f:1, disabled %.2f:1", m_worst[0], m_worst[1]);
        closeAll();
        m_session.reset();
    }

    void readable_data()
    {
        QTest::addColumn<int>("skin");
        QTest::addColumn<QString>("window");
        const QStringList windows = {u"main"_qs,    u"entry"_qs,      u"login"_qs,
                                     u"usergl"_qs,  u"changepass"_qs, u"backup"_qs,
                                     u"preview"_qs, u"pagesetup"_qs,  u"progress"_qs,
                                     u"message"_qs, u"filedialog"_qs, u"guide"_qs};
        for (int skin = 0; skin < skins::kCount; ++skin)
            for (const QString& window : windows)
                QTest::addRow("%d %s", skin, qPrintable(window)) << skin << window;
    }

    // Every text reads at 4.5:1 on its own ground; disabled text is fainter but still 3:1;
    // read-only fields have a ground of their own; texts coloured on purpose keep it.
    void readable()
    {
        QFETCH(int, skin);
        QFETCH(QString, window);
        skins::apply(skin);
        QWidget* w = open(window);
        auto cleanup = qScopeGuard([this] { closeAll(); });
        // Passwords show a "*" for each character, whatever the skin draws.
        for (auto* edit : w->findChildren<QLineEdit*>())
            if (edit->echoMode() == QLineEdit::Password) {
                edit->setText(QStringLiteral("574"));
                QCOMPARE(edit->displayText(), QStringLiteral("***"));
            }
        const QImage enabled = shot(w);
        const auto areas = textAreas(w);
        QVERIFY2(!areas.isEmpty(), "no text found to judge the window");

        QStringList failures;
        std::map<QString, Reading> before;
        for (const auto& [name, rect, widget] : areas) {
            Reading r = read(enabled, rect);
            r.enabled = widget->isEnabled();
            before[name] = r;
            m_worst[!r.enabled] = std::min(m_worst[!r.enabled], r.ratio);
            // Controls a window locks are judged as disabled ones below.
            if (r.ratio < (widget->isEnabled() ? 4.5 : 3.0))
                failures << QStringLiteral("%1 %2:1").arg(name).arg(r.ratio, 0, 'f', 2);
        }

        // Read-only fields against the writable ones of the same window.
        QList<QRgb> writable, readOnly;
        for (auto* edit : w->findChildren<QLineEdit*>()) {
            if (!edit->isVisibleTo(w) || qobject_cast<QAbstractSpinBox*>(edit->parent()) ||
                qobject_cast<QComboBox*>(edit->parent()))
                continue;
            const QRgb ground =
                read(enabled, QRect(edit->mapTo(w, QPoint(3, 3)), edit->size() - QSize(6, 6)))
                    .ground;
            (edit->isReadOnly() ? readOnly : writable) << ground;
        }
        for (QRgb ro : readOnly)
            for (QRgb rw : writable)
                if (near(ro, rw, 6))
                    failures
                        << QStringLiteral("a read-only field looks writable (%1)").arg(ro, 6, 16);

        // Red stays red and maroon maroon, deepened at most as far as the ground asks.
        auto expectInk = [&](const char* object, QRgb colour) {
            auto* label = w->findChild<QLabel*>(QString::fromLatin1(object));
            QVERIFY2(label, object);
            QImage image = enabled;
            if (label->visibleRegion().isEmpty()) {
                if (auto* scroll = w->findChild<QScrollArea*>())
                    scroll->ensureWidgetVisible(label);
                image = shot(w);
            }
            const Reading r = read(image, QRect(label->mapTo(w, QPoint()), label->size()));
            const QColor ink(r.ink), own(colour);
            if ((ink.hsvHue() > 8 && ink.hsvHue() < 352) || ink.hsvSaturation() < 200 ||
                ink.value() > own.value() + 30)
                failures << QStringLiteral("%1 lost its colour: %2")
                                .arg(QLatin1String(object))
                                .arg(r.ink, 6, 16);
        };
        if (window == u"login")
            expectInk("Label3", qRgb(255, 0, 0));
        if (window == u"backup") {
            expectInk("Label2", qRgb(255, 0, 0));
            expectInk("Label3", qRgb(255, 0, 0));
            expectInk("headerLabel", qRgb(128, 0, 0));
        }
        if (window == u"usergl") { // the tab captions fit the window's fixed width
            QTabBar* tabs = w->findChild<QTabWidget*>()->tabBar();
            const QRect last = tabs->tabRect(tabs->count() - 1);
            QVERIFY(tabs->mapTo(w, last.topRight()).x() < w->width());
            QVERIFY(last.width() > tabs->fontMetrics().horizontalAdvance(tabs->tabText(2)));
        }
        if (window == u"main") {
            const QImage grid = shot(MainForm->DBGridEh1);
            if (countNear(grid, qRgb(192, 220, 192)) < 500)
                failures << u"the grid's expense rows are no longer green"_qs;
            if (countNear(grid, qRgb(255, 194, 134)) < 500)
                failures << u"the grid's footer is no longer orange"_qs;
        }

        // Disabled: fainter than before for every text the skin colours, yet 3:1. (A message box
        // is never disabled.)
        if (window == u"message") {
            QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u"\n"_qs)));
            return;
        }
        w->setEnabled(false);
        const QImage disabled = shot(w);
        for (const auto& [name, rect, widget] : areas) {
            const Reading r = read(disabled, rect);
            m_worst[1] = std::min(m_worst[1], r.ratio);
            const QPalette& p = widget->palette();
            bool fixedInk = !before[name].enabled;
            for (auto role : {QPalette::WindowText, QPalette::Text})
                fixedInk = fixedInk ||
                           (p.isBrushSet(QPalette::Disabled, role) &&
                            p.color(QPalette::Disabled, role) == p.color(QPalette::Active, role));
            if (r.ratio < 3)
                failures << QStringLiteral("disabled %1 %2:1").arg(name).arg(r.ratio, 0, 'f', 2);
            else if (!fixedInk && near(r.ink, before[name].ink, 12) &&
                     r.ratio > 0.85 * before[name].ratio)
                failures << QStringLiteral("disabled %1 looks enabled").arg(name);
        }
        w->setEnabled(true);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u"\n"_qs)));
    }
};

QUENVALE_TEST_MAIN(SkinsTest)
#include "tst_skins.moc"
