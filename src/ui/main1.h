// SPDX-License-Identifier: GPL-3.0-or-later
// The main window. Its handlers stay thin: they read controls, call the core and write
// controls. Each subsystem's handlers are in ui/window/main1_<subsystem>.cpp.
#pragma once

#include <QHash>
#include "history/backupnames.h"
#include "search/databasestamp.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTabWidget;
class QUndoGroup;
class QUndoStack;
class QTemporaryDir;
class QTimer;

namespace qadora {

class AnswerBox;
class DirList;
class FileList;
class Interaction;
struct Listing;
enum class LineFormat;
class Progress;
class RecordSearch;
class SingleInstance;
class SiteRun;
struct ListFileContents;
struct PageStyle;
struct RecordChange;
class SessionBackups;
struct SiteSettings;
struct StoreStatus;
using ChangeSet = QList<RecordChange>;

// The lines of a list box, first to last.
QStringList linesOf(const QListWidget* list);

class main1 : public QMainWindow {
    Q_OBJECT
public:
    // `interaction` answers every message box, question, dialog and clipboard access.
    explicit main1(Interaction* interaction, QWidget* parent = nullptr);
    ~main1() override;

    // Start-up steps; called once after construction (the window's load).
    void Form_Load();

    QString databasePath() const { return m_dbPath; }
    QString shownquest() const { return m_shownquest; }

    // --- record store (ui/window/main1_store.cpp)
    int kensu();
    void dsakusei();
    void dbmake_Click();
    void dbdel_Click();

    // --- record views (ui/window/main1_views.cpp)
    void dbdispk(QComboBox* acomb);
    void dbdispl(QListWidget* alist);
    void hyoujisel(QListWidget* alist, QLabel* blabel, const QString& ctext);
    void hyouji(QListWidget* alist, QLabel* blabel);
    void hyouji2(QListWidget* alist, QLabel* blabel);
    void dbdisps(QLabel* alabel, QListWidget* blist);
    void hyoujisel2(QListWidget* alist, QLabel* blabel, const QString& ctext, QListWidget* dlist);
    void hyoujiall(QListWidget* alist, QLabel* blabel, QListWidget* blist);
    void Command17_Click();
    void Command18_Click();
    void List9_DblClick();
    void Command13_Click();

    // --- site generator (ui/window/main1_site.cpp); false: the run must stop
    bool htmlmake(const QString& fnum, const QString& atext, const QString& btext, const QString& ctext);
    bool indhtml();
    bool subhtml();
    bool subsubhtml(const QString& htm, const QString& tit);
    void Command14_Click();
    void Command15_Click();
    void Command16_Click();

    // --- record editing (ui/window/main1_editing.cpp)
    QString brplus(const QString& aaa) const;
    QString brhiku(const QString& aaa) const;
    bool dtuika(); // false when the store refused the record
    void Command3_Click();
    void Command4_Click();
    void Command12_Click();
    void Command26_Click();
    void dbdisp(QListWidget* alist, QLineEdit* atext, QLineEdit* btext, AnswerBox* ctext, QPushButton* dcomm);
    void Command2_Click();
    void Command25_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();

    // --- settings (ui/window/main1_settings.cpp, ui/window/main1_dblist.cpp)
    QString rwsettext(int mode, const QString& value = QString());
    void envtxtwr();
    void listyomi();
    bool listkaki(); // false: refused in a way that keeps the tab's fields
    void sentakudb();
    void Command21_Click();
    void Command22_Click();
    void Command23_Click();

    // --- help, version and links (ui/window/main1_help.cpp)
    void setumei_Click();
    void sakusya_Click();
    void hpsamp_Click();
    void aabout_Click();
    void koukai_Click();
    void buildPublish_Click();
    QWidget* helpWindow() const;

    // --- exchange with spreadsheets, and the rename of a kind (ui/window/main1_exchange.cpp)
    void exportCsv_Click();
    void importCsv_Click();
    void renameKind_Click();

    // --- the way back (ui/window/main1_history.cpp)
    // Writes `changes` to the current database in one transaction, as one step that 元に戻す
    // takes back and the status bar names by `text`; an Access file is converted and the
    // database backed up first, as for any change (and for a `reason` other than the first
    // change, backed up again). Tells the user why when nothing was written; true when it was.
    bool applyUndoable(const ChangeSet& changes, const QString& text, BackupReason reason = BackupReason::FirstChange);
    // Makes changes already written to the current database (as the store's add, update and
    // remove report them) one step of its history.
    void recordUndoable(const ChangeSet& done, const QString& text);
    // The backup before this session's first change to `database`, or before a change made for
    // `reason` whenever it is made; false, after telling the user, when it could not be made
    // (the change must not be made then).
    bool backUpBeforeChange(const QString& database, BackupReason reason = BackupReason::FirstChange);
    // The history of the current database; nullptr when none is set.
    QUndoStack* undoStack() const;
    void undo_Click();
    void redo_Click();
    void restore_Click();
    // Lists again, quietly, whatever the tabs have listed, after their records changed.
    void relistShown();

    // --- shell and folder picker (ui/main1.cpp)
    void Dir1_Change();
    void Dir1_RightRelease();
    void File1_DblClick();
    void Command1_Click();
    void browseDir_Click();
    void SSTab1_DblClick();

    // --- search, preview and the window's frame (ui/window/main1_search.cpp, main1_preview.cpp,
    // main1_frame.cpp)
    RecordSearch* recordSearch() const { return m_search; }
    // Makes `path` the current database, as choosing it under データベースの指定 does; false,
    // after a message, when it is no Q&A database. A database another window has open comes
    // forward there instead.
    bool openDatabase(const QString& path);
    // History, title, record count, recent list and search index after the database or its
    // file changed.
    void followDatabase();
    void preview_Click();
    void previewRecord_Click();

    // Controls, named as the program names them.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QTabWidget* SSTab1 = nullptr;
    QMenu* ffile = nullptr;
    QMenu* hhelp = nullptr;
    QMenu* hensyu = nullptr;
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* restore = nullptr; // ファイル → バックアップから復元…
    QAction* dbmake = nullptr;
    QAction* dbdel = nullptr;
    QAction* koukai = nullptr; // publish the site to a web server
    QAction* importCsv = nullptr; // add records from a CSV or TSV file
    QAction* exportCsv = nullptr; // write the records into a CSV or TSV file
    QAction* buildPublish = nullptr; // ＨＰ作成, then publish to the remembered address
    QAction* eend = nullptr;
    QAction* setumei = nullptr;
    QAction* sakusya = nullptr;
    QAction* hpsamp = nullptr;
    QAction* aabout = nullptr;

    // Tab 0
    QLabel* Label25 = nullptr;
    QPushButton* Command17 = nullptr;
    QListWidget* List8 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QPushButton* Command18 = nullptr;
    QListWidget* List9 = nullptr;
    QListWidget* List10 = nullptr;
    QLabel* Label24 = nullptr;
    // Tab 1
    QLabel* Label5 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* Label22 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label4 = nullptr;
    AnswerBox* rtext1 = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command12 = nullptr;
    QPushButton* renameKind = nullptr; // give every record of a kind another kind string
    QPushButton* Command4 = nullptr;
    QListWidget* List1 = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* Command26 = nullptr;
    QLabel* Label26 = nullptr;
    QLabel* Label27 = nullptr;
    QFrame* Line1 = nullptr;
    // Tab 2
    QPushButton* Command5 = nullptr;
    QListWidget* List2 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QPushButton* Command6 = nullptr;
    QLabel* Label15 = nullptr;
    QLineEdit* Text6 = nullptr;
    QLabel* Label10 = nullptr;
    QLineEdit* Text7 = nullptr;
    QLabel* Label11 = nullptr;
    AnswerBox* Text2 = nullptr;
    QLabel* Label12 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QFrame* Line2 = nullptr;
    // Tab 3
    QPushButton* Command2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QPushButton* Command25 = nullptr;
    QListWidget* List12 = nullptr;
    QListWidget* List3 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QPushButton* Command9 = nullptr;
    QLabel* Label19 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* Label18 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLabel* Label17 = nullptr;
    AnswerBox* Text5 = nullptr;
    QLabel* Label20 = nullptr;
    QPushButton* Command10 = nullptr;
    QPushButton* Command11 = nullptr;
    QFrame* Line3 = nullptr;
    // Tab 4
    QLabel* Label21 = nullptr;
    QLineEdit* Text8 = nullptr;
    QLabel* Label39 = nullptr;
    QLineEdit* Text15 = nullptr;
    QLabel* Label31 = nullptr;
    QLineEdit* Text12 = nullptr;
    QLabel* Label23 = nullptr;
    QLineEdit* Text10 = nullptr;
    QLabel* Label34 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* Option5 = nullptr;
    QRadioButton* Option6 = nullptr;
    QRadioButton* Option7 = nullptr; // the modern style: UTF-8, a stylesheet, site search
    QLabel* siteAddressLabel = nullptr;
    QLineEdit* siteAddress = nullptr; // where the modern site is published
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check5 = nullptr; // pages readable on phones: a viewport line on every page
    QPushButton* Command13 = nullptr;
    QListWidget* List4 = nullptr;
    QListWidget* List5 = nullptr;
    QComboBox* Combo2 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label16 = nullptr;
    QPushButton* Command14 = nullptr;
    DirList* Dir1 = nullptr;
    FileList* File1 = nullptr;
    QLabel* Label36 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* browseDir = nullptr; // 参照…: the desktop's folder chooser
    QLineEdit* Text9 = nullptr;
    QPushButton* Command15 = nullptr;
    QPushButton* Command16 = nullptr;
    QCheckBox* Check4 = nullptr; // prune pages of earlier runs that this run did not write
    // Tab 5
    QPushButton* Command19 = nullptr;
    QLabel* Label28 = nullptr;
    QPushButton* Command20 = nullptr;
    QListWidget* List11 = nullptr;
    QLabel* Label29 = nullptr;
    QLineEdit* Text11 = nullptr;
    QLabel* Label40 = nullptr;
    QPushButton* Command22 = nullptr;
    QLabel* Label30 = nullptr;
    QLabel* Label37 = nullptr;
    QLabel* Label38 = nullptr;
    QLabel* Label32 = nullptr;
    QLineEdit* Text13 = nullptr;
    QLabel* Label33 = nullptr;
    QLineEdit* Text14 = nullptr;
    QLabel* Label35 = nullptr;
    QPushButton* Command21 = nullptr;
    QPushButton* Command23 = nullptr;
    QPushButton* Command24 = nullptr;

    // Search boxes, previews, the recent databases and the record count
    QLineEdit* searchDisplay = nullptr; // above List9
    QLineEdit* searchDelete = nullptr;  // above List2
    QLineEdit* searchModify = nullptr;  // above List3
    QPushButton* preview = nullptr;       // tab 4
    QPushButton* previewRecord = nullptr; // tab 3
    QMenu* recent = nullptr;
    QLabel* recordCount = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    QWidget* buildTab0();
    QWidget* buildTab1();
    QWidget* buildTab2();
    QWidget* buildTab3();
    QWidget* buildTab4();
    QWidget* buildTab5();
    void connectHandlers();
    void connectEditing();
    void connectViews();
    void connectSite();
    void connectSettings();
    void connectHelp();
    void connectPublish();
    void connectHistory();
    void connectExchange();
    void openLink(const QUrl& url);
    // The search boxes, shortcuts, tab order, scrolling tabs, the recent databases, drops.
    void connectSearch();
    void buildFrame();
    void connectFrame();
    void connectKeyboard();
    void connectPreview();
    void fitToScreen();
    void saveGeometrySetting();
    void fillRecent();
    // The folder previews are written into, emptied; empty when it cannot be made.
    QString previewFolder();
    // Opens a preview page in the browser, or says where it was written.
    void showPreview(const QString& page);

    // The history 元に戻す and やり直し work on follows the current database; a database
    // replaced or restored loses its history, whose steps no longer describe it.
    void followHistory();
    void forgetHistory(const QString& database);
    void moveInHistory(bool back);
    StoreStatus writeChanges(const QString& database, const ChangeSet& changes);
    // Input typed on the entry or change tab and not yet added or saved.
    bool hasUnsavedInput() const;
    // False when the user keeps the window open.
    bool mayClose();
    // The html tab's settings, remembered per output folder: shown when a folder is chosen,
    // remembered when they were changed and the folder is left, a site built or the window closed.
    void showSiteSettingsOf(const QString& folder);
    // Remembers the html tab for its folder; `built`: a site was built there with it.
    void rememberShownSiteSettings(bool built = false);
    SiteSettings shownSiteSettings();

    // Shutdown steps, run on every close request.
    void Form_Unload();
    // Moves the folder picker to `dir`; false when it is not a directory.
    bool setOutputDir(const QString& dir);
    QString outputDir() const;
    PageStyle pageStyle() const;
    // The answer typed on the entry tab, line breaks as CR LF, before any marker.
    QString answerText() const;
    void notice(const QString& text);
    // False, after telling the user, when the record shown on the change or delete tab was read
    // from another database than the current one.
    bool loadedFromCurrent(const QString& database);
    // The store to change; an Access file is converted first when the user agrees.
    std::unique_ptr<class RecordStore> storeForWriting(BackupReason reason = BackupReason::FirstChange);
    // The list file: List11 from what was read; whether it may be written (messages when not);
    // writing List11's lines.
    void loadList(const ListFileContents& contents, const QString& path);
    bool listFileWritable(const ListFileContents& contents, const QString& path);
    bool writeList(const QString& path, const QStringList& lines);
    // The run "ＨＰ作成" writes through; a run of its own for a writer called alone.
    SiteRun& siteRun();
    // The pages of "ＨＰ作成" for every record; false when the run stopped.
    bool generatePages();
    // "ＨＰ作成" without its closing message, reporting into `progress` (or a progress of its
    // own when null); true when the site is complete.
    bool buildSite(Progress* progress);
    // Asks before pages go straight into the home folder; true to go on.
    bool outputDirConfirmed();
    // Counts a page of the run under way; false when the user stopped the run.
    bool pageMade();
    // A listing of the first n records, with a progress the user can stop.
    Listing listWithProgress(int n, const std::optional<QString>& kind, LineFormat format);
    // Shows kensu's message and the listing's own, and returns the count.
    int countForListing();

    Interaction* m_interaction;
    QString m_dbPath;     // the current database path; empty when none is set
    QString m_shownquest; // the question of the record last loaded on the change tab
    bool m_changeLoaded = false; // the change tab's boxes hold a loaded record
    // The numbers of the records the change and delete tabs show (0: none): a save or a delete
    // reaches the first record of its question only while that is still the record shown.
    qint64 m_changeLoadedNo = 0;
    qint64 m_deleteLoadedNo = 0;
    QString m_deleteLoadedQuest;
    QString m_changeLoadedFrom;  // the database the change tab's record was read from
    QString m_deleteLoadedFrom;  // and the delete tab's
    QString m_listLoadedFrom;    // the list file List11 was last filled from or written to
    QByteArray m_listLoadedBytes; // and what that file held then
    QPointer<QWidget> m_help;    // the help window while it is open
    std::unique_ptr<SiteRun> m_run; // the generation run under way
    Progress* m_progress = nullptr; // its progress
    int m_pagesMade = 0;
    bool m_keepSavedOutputDir = false; // the saved output directory was missing; none picked since

    QUndoGroup* m_history = nullptr;       // one stack per database; the current one's is active
    QHash<QString, QUndoStack*> m_stacks; // by absolute database path
    std::unique_ptr<SessionBackups> m_backups;
    QString m_siteFolder;                      // the folder whose settings the html tab shows
    std::unique_ptr<SiteSettings> m_siteShown; // and what they were when shown or remembered
    bool m_siteOwn = false; // m_siteFolder has settings of its own
    RecordSearch* m_search = nullptr;
    SingleInstance* m_instance = nullptr;
    QTimer* m_follow = nullptr; // looks at the database file for changes by any program
    QString m_followedPath;
    std::optional<DatabaseStamp> m_followedStamp;
    std::unique_ptr<QTemporaryDir> m_previewDir;
};

} // namespace qadora
