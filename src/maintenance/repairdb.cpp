#include "maintenance/repairdb.h"

#include "data/dm.h"
#include "data/legacy.h"
#include "data/server.h"
#include "gui/commandguard.h"
#include "gui/messages.h"
#include "maintenance/autobackup.h"
#include "maintenance/bookcopy.h"
#include "maintenance/filecopy.h"
#include "settings/settings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace {

constexpr int kClientWidth = 345;
constexpr int kClientHeight = 137;
const QColor kPaleGreen(192, 220, 192);
const QColor kMaroon(128, 0, 0);

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QFrame* panel(QWidget* parent, const char* name, int height)
{
    auto* frame = named(new QFrame(parent), name);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setFixedHeight(height);
    frame->setAutoFillBackground(true);
    QPalette palette = frame->palette();
    palette.setColor(QPalette::Window, kPaleGreen);
    frame->setPalette(palette);
    return frame;
}

QLabel* coloured(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

// Where a target typed for the earlier Windows program lands here: "D:\x\y.mdb" becomes
// ~/x/y.mdb, the home folder standing in for the other disk.
QString mappedTarget(const QString& typed)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    if (!drive.match(typed).hasMatch())
        return typed;
    QString rest = typed.mid(3);
    rest.replace(u'\\', u'/');
    return QDir::home().absoluteFilePath(rest);
}

QString defaultTarget()
{
    return QDir::home().absoluteFilePath(QStringLiteral("qvbook.mdb"));
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa
    {
    };
    struct stat sb
    {
    };
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Shows how far a copy has come while it runs; the operator may stop it.
class CopyProgress
{
public:
    explicit CopyProgress(QWidget* parent)
        : m_dialog(QString(), QStringLiteral("取消"), 0, 0, parent)
    {
        m_dialog.setWindowTitle(QStringLiteral("数据库备份"));
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(500);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_clock.start();
    }
    bookcopy::Progress step(const QString& label)
    {
        m_dialog.setLabelText(label);
        return [this](qint64 done, qint64 total) {
            if (total > 0) {
                m_dialog.setMaximum(int(total));
                m_dialog.setValue(int(done));
            } else if (m_clock.restart() > 50) {
                m_dialog.setMaximum(0); // a check of unknown length
                QCoreApplication::processEvents();
            }
            return !m_dialog.wasCanceled();
        };
    }

private:
    QProgressDialog m_dialog;
    QElapsedTimer m_clock;
};

} // namespace

Tbeifen::Tbeifen(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("beifen"));
    setWindowTitle(QStringLiteral("数据库备份"));
    setFixedSize(kClientWidth, kClientHeight);
    buildPanels();

    auto on = [this](auto* sender, auto signal, void (Tbeifen::*handler)()) {
        connectGuarded(sender, signal, this, handler);
    };
    on(Edit1, &QLineEdit::textChanged, &Tbeifen::Edit1Change);
    on(BitBtn1, &QPushButton::clicked, &Tbeifen::BitBtn1Click);
    on(BitBtn5, &QPushButton::clicked, &Tbeifen::BitBtn5Click);
    on(Button1, &QPushButton::clicked, &Tbeifen::Button1Click);
    on(restoreAutoBackup, &QPushButton::clicked, &Tbeifen::restoreAutoBackupClick);
    connectGuarded(autoBackupList, &QTreeWidget::itemDoubleClicked, this,
                   &Tbeifen::restoreAutoBackupClick);
}

void Tbeifen::buildPanels()
{
    scrollArea = named(new QScrollArea(this), "scrollArea");
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setWidgetResizable(true);
    scrollArea->setGeometry(0, 0, kClientWidth, kClientHeight);

    auto* content = named(new QWidget, "panels");
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Panel1 = panel(content, "Panel1", 33);
    headerLabel = coloured(
        named(new QLabel(QStringLiteral("数据库维护备份"), Panel1), "headerLabel"), kMaroon);
    QFont header(QStringLiteral("宋体"));
    header.setPixelSize(16);
    header.setBold(true);
    headerLabel->setFont(header);
    headerLabel->setAlignment(Qt::AlignCenter);
    auto* headerRow = new QVBoxLayout(Panel1);
    headerRow->setContentsMargins(2, 2, 2, 2);
    headerRow->addWidget(headerLabel);

    Panel2 = panel(content, "Panel2", 104);
    Label1 = named(new QLabel(QStringLiteral("备份数据的目录:"), Panel2), "Label1");
    Label1->setGeometry(16, 10, 200, 18);
    Edit1 = named(new QLineEdit(defaultTarget(), Panel2), "Edit1");
    Edit1->setGeometry(16, 32, 196, 24);
    BitBtn1 = named(new QPushButton(QStringLiteral("备份数据库"), Panel2), "BitBtn1");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    BitBtn1->setGeometry(220, 30, 100, 28);
    Label2 =
        coloured(named(new QLabel(QStringLiteral("温馨提示：定期备份数据，维护数据安全！"), Panel2),
                       "Label2"),
                 Qt::red);
    Label2->setGeometry(16, 74, 300, 18);

    Panel4 = panel(content, "Panel4", 144);
    Edit2 = named(new QLineEdit(QStringLiteral("beifen.mdb"), Panel4), "Edit2");
    Edit2->setGeometry(16, 12, 196, 24);
    Button1 = named(new QPushButton(QStringLiteral("打开备份文件"), Panel4), "Button1");
    Button1->setGeometry(16, 44, 110, 28);
    BitBtn5 = named(new QPushButton(QStringLiteral("恢复数据库"), Panel4), "BitBtn5");
    BitBtn5->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    BitBtn5->setGeometry(220, 10, 100, 28);
    Label3 = coloured(
        named(new QLabel(QStringLiteral("警告：恢复数据库功能，只有当目前使用的数据库损坏或丢失时才"
                                        "使用，否则旧数据库会覆盖当前的最新数据库，造成信息丢失。"),
                         Panel4),
              "Label3"),
        Qt::red);
    Label3->setWordWrap(true);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3->setGeometry(16, 82, 300, 56);

    Panel5 = panel(content, "Panel5", 196);
    auto* autoLabel = named(
        new QLabel(QStringLiteral("自动备份（退出时自动做，最新的在上面）:"), Panel5), "Label4");
    autoLabel->setGeometry(16, 8, 300, 18);
    autoBackupList = named(new QTreeWidget(Panel5), "autoBackupList");
    autoBackupList->setHeaderLabels(
        {QStringLiteral("备份时间"), QStringLiteral("大小"), QStringLiteral("记录数")});
    autoBackupList->setRootIsDecorated(false);
    autoBackupList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    autoBackupList->header()->setStretchLastSection(false);
    autoBackupList->header()->setMinimumSectionSize(40);
    autoBackupList->setColumnWidth(0, 134);
    autoBackupList->setColumnWidth(1, 70);
    autoBackupList->setColumnWidth(2, 90);
    autoBackupList->setGeometry(16, 28, 300, 124);
    restoreAutoBackup =
        named(new QPushButton(QStringLiteral("恢复所选的自动备份"), Panel5), "restoreAutoBackup");
    restoreAutoBackup->setGeometry(16, 158, 150, 28);

    column->addWidget(Panel1);
    column->addWidget(Panel2);
    column->addWidget(Panel4);
    column->addWidget(Panel5);
    column->addStretch();
    scrollArea->setWidget(content);
}

void Tbeifen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    guarded(this, [this] { FormShow(); });
}

void Tbeifen::closeEvent(QCloseEvent* event)
{
    // A book that cannot be reopened keeps the window, so a backup can still be restored.
    if (guarded(this, [this] { FormClose(); }))
        event->accept();
    else
        event->ignore();
}

void Tbeifen::FormShow()
{
    dmfm->setConnected(false);
    bookcopy::removeLeftovers(QFileInfo(dmfm->databasePath()).absolutePath());
    fillAutoBackups();
    // Shown, not stored again: only the operator's edits write the target back.
    const QString saved = settings::readText(settings::kBackupTarget);
    if (!saved.isEmpty()) {
        const QSignalBlocker quiet(Edit1);
        Edit1->setText(mappedTarget(saved));
    }
}

void Tbeifen::FormClose()
{
    dmfm->setConnected(true);
    dmfm->ADOTable5->openForAppend();
    if (bookReopened)
        bookReopened();
}

void Tbeifen::Edit1Change()
{
    settings::write(settings::kBackupTarget, Edit1->text());
}

bool Tbeifen::confirmReplace(const QString& source, const QString& target)
{
    QString question;
    if (server::isServerBook(target)) {
        // A server book always holds records, those of every PC that uses it.
        question = QStringLiteral("此位置已经包含服务器账本“%1”。\n要用“%2”替换它吗？")
                       .arg(server::displayName(target), source);
    } else {
        const QFileInfo existing(target);
        if (!existing.exists() && !existing.isSymLink())
            return true;
        question =
            QStringLiteral("此位置已经包含同名文件“%1”。\n要用“%2”替换它吗？").arg(target, source);
    }
    return messages().yesNo(this, QStringLiteral("确认文件替换"), question);
}

void Tbeifen::BitBtn1Click()
{
    const QString book = dmfm->isServer() ? dmfm->fileName() : dmfm->databasePath();
    // A folder as the target takes the book's file name; a server book's backup is a data.mdb.
    const QString target = filecopy::resolveTarget(
        dmfm->isServer() ? QStringLiteral("data.mdb") : book, mappedTarget(Edit1->text()));
    if (target.isEmpty()) {
        messages().critical(this, QStringLiteral("No target file was given."));
        messages().information(this, QStringLiteral("数据库备份失败！"));
        return;
    }
    if (sameFile(target, book)) {
        messages().information(
            this, QStringLiteral("不能把数据库备份到它自身（%1），请选择另一个文件或文件夹。")
                      .arg(target));
        return;
    }
    if (!confirmReplace(book, target))
        return;
    try {
        bookcopy::removeLeftovers(QFileInfo(target).absolutePath());
        CopyProgress progress(this);
        bookcopy::snapshot(book, target, progress.step(QStringLiteral("正在备份数据库……")));
    } catch (const QuenvaleError& e) {
        messages().critical(this, explainedFileFailure(e.message()));
        messages().information(this, QStringLiteral("数据库备份失败！"));
        return;
    }
    messages().information(this, QStringLiteral("数据库备份成功！"));
}

void Tbeifen::Button1Click()
{
    const QString chosen = messages().openFileName(this);
    if (!chosen.isEmpty())
        Edit2->setText(chosen);
}

void Tbeifen::BitBtn5Click()
{
    const QString source = Edit2->text();
    if (!QFileInfo::exists(source)) {
        messages().information(this, QStringLiteral("备份数据库没找到!"));
        return;
    }
    const auto failed = [this](const QString& cause) {
        messages().critical(this, explainedFailure(cause));
        messages().information(this, QStringLiteral("数据库恢复失败！"));
    };
    // A backup of the earlier Windows program is converted on a copy; the file stays as it is.
    QTemporaryDir conversion;
    QString from = source;
    if (legacy::isAccessBook(source)) {
        if (!messages().yesNo(this, applicationTitle(),
                              QStringLiteral("检测到 Access 格式的备份文件。是否转换为本程序的"
                                             "数据库格式后恢复？备份文件本身保持不变。"),
                              true))
            return;
        from = conversion.filePath(QStringLiteral("backup.mdb"));
        if (!conversion.isValid() || !QFile::copy(source, from))
            return failed(QStringLiteral("Cannot copy '%1' for its conversion.").arg(source));
        try {
            const legacy::Counts counts = legacy::convertBook(from);
            messages().information(
                this, QStringLiteral("转换完成：导入记录 %1 条，用户 %2 个，登录日志 %3 条。")
                          .arg(counts.records)
                          .arg(counts.users)
                          .arg(counts.logins));
        } catch (const QuenvaleError& e) {
            return failed(QStringLiteral("转换失败：") + e.message());
        }
    }

    const QString book = dmfm->isServer() ? dmfm->fileName() : dmfm->databasePath();
    bookcopy::Restore restore(from, book);
    // Each step has its own progress, so none waits behind the question.
    try {
        CopyProgress progress(this);
        restore.check(progress.step(QStringLiteral("正在检查备份文件……")));
    } catch (const bookcopy::BadBackup& e) {
        messages().information(this, e.message());
        return;
    } catch (const QuenvaleError& e) {
        return failed(e.message());
    }
    if (!confirmReplace(source, book))
        return;
    try {
        CopyProgress progress(this);
        restore.replace(progress.step(QStringLiteral("正在恢复数据库……")));
    } catch (const QuenvaleError& e) {
        return failed(e.message());
    }
    messages().information(this, QStringLiteral("数据库恢复成功！"));
}

void Tbeifen::fillAutoBackups()
{
    const QString book = dmfm->isServer() ? dmfm->fileName() : dmfm->databasePath();
    const QString folder = autobackup::folderFor(book);
    if (QFileInfo(folder).isDir())
        bookcopy::removeLeftovers(folder);
    autoBackupList->clear();
    for (const autobackup::Entry& entry : autobackup::list(book)) {
        const QString size = entry.size >= 1024 * 1024
                                 ? QStringLiteral("%1 MB").arg(entry.size / 1048576.0, 0, 'f', 1)
                                 : QStringLiteral("%1 KB").arg((entry.size + 1023) / 1024);
        auto* item = new QTreeWidgetItem(
            autoBackupList,
            {entry.taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), size,
             entry.records < 0 ? QStringLiteral("无法读取") : QString::number(entry.records)});
        item->setData(0, Qt::UserRole, entry.path);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void Tbeifen::restoreAutoBackupClick()
{
    const QTreeWidgetItem* chosen = autoBackupList->currentItem();
    if (!chosen) {
        messages().information(this, QStringLiteral("请先在列表中选择一个自动备份。"));
        return;
    }
    Edit2->setText(chosen->data(0, Qt::UserRole).toString());
    BitBtn5Click();
}
