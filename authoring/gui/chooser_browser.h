// The folder tree and file list the material choosers browse with: a tree of
// folders rooted at "/" and, beside it, a sorted list of the chosen folder's
// folders and files.
#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <string>

class QFileSystemModel;
class QListView;
class QModelIndex;
class QTreeView;
class QWidget;

class TFolderBrowser : public QObject {
    Q_OBJECT
public:
    // Makes the tree "STVData" and, when withList, the list "SLVData", both children
    // of parent; the caller places them in its layout.
    TFolderBrowser(QWidget* parent, bool withList);

    QTreeView* Tree() const { return tree_; }
    QListView* List() const { return list_; }

    // Makes dir the tree's current folder (the list follows). A folder that does not
    // exist leaves the tree where it is.
    void OpenFolder(const std::string& dir);
    // The tree's current folder, ending with "/"; empty when none is chosen.
    std::string CurrentFolder() const;
    // The full path of the list's selected item; empty when nothing is selected.
    std::string SelectedPath() const;
    bool SelectedIsFolder() const;

signals:
    // The tree's current folder has changed (path ends with "/"). Sent from the
    // event loop once the input that moved the tree has been handled, so that a
    // long listing run from it never stands in the middle of the tree's own mouse
    // handling; changes in between are sent once, with the folder current then.
    void FolderChanged(const QString& folder);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void TreeCurrentChanged(const QModelIndex& current);
    void SendFolderChanged();
    void ScrollToOpened();

    QFileSystemModel* treeModel_ = nullptr;
    QFileSystemModel* listModel_ = nullptr;
    QTreeView* tree_ = nullptr;
    QListView* list_ = nullptr;
    // The folder last opened by OpenFolder, kept in view while the tree loads,
    // until the user works the tree.
    QPersistentModelIndex opened_;
    bool changeQueued_ = false;
};

// A path for the folder models: no trailing "/" except for the root itself.
QString ModelPath(const std::string& dir);

class QLabel;
class QStatusBar;
class QColor;
class QMenu;

// A fixed-width panel of a status bar, named so that tests find it.
QLabel* AddStatusPanel(QStatusBar* bar, const QString& objectName, const QString& text, int width,
                       bool centred = false);
void SetTextColour(QWidget* w, const QColor& colour);
// menu pops up at the mouse cursor whenever a mouse button (any) is released over
// button; the button's own click does nothing more.
void PopUpOnMouseRelease(QWidget* button, QMenu* menu);

// What the choosers start outside themselves; tests put recorders in their place.
void OpenFolderInFileBrowser(const std::string& dir);
void StartProgramDetached(const std::string& program);
