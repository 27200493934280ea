// The folder tree and file list the material choosers browse with: a tree of
// folders rooted at "/" and, beside it, a sorted list of the chosen folder's
// folders and files.
#pragma once

#include <QObject>
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
    // The tree's current folder has changed (path ends with "/").
    void FolderChanged(const QString& folder);

private:
    void TreeCurrentChanged(const QModelIndex& current);

    QFileSystemModel* treeModel_ = nullptr;
    QFileSystemModel* listModel_ = nullptr;
    QTreeView* tree_ = nullptr;
    QListView* list_ = nullptr;
};

// A path for the folder models: no trailing "/" except for the root itself.
QString ModelPath(const std::string& dir);

class QLabel;
class QStatusBar;
class QColor;

// A fixed-width panel of a status bar, named so that tests find it.
QLabel* AddStatusPanel(QStatusBar* bar, const QString& objectName, const QString& text, int width,
                       bool centred = false);
void SetTextColour(QWidget* w, const QColor& colour);

// What the choosers start outside themselves; tests put recorders in their place.
void OpenFolderInFileBrowser(const std::string& dir);
void StartProgramDetached(const std::string& program);
