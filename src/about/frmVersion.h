#pragma once

#include <QDialog>

class QIcon;
class QLabel;
class QPushButton;

// The about box "バージョン情報": the program's icon, name and version, the
// JPEG library's line and a link to the maker's page. Its texts are set once
// when it is made; "閉じる(&C)" and Esc only hide it.
class frmVersion : public QDialog
{
    Q_OBJECT

public:
    frmVersion(const QIcon& icon, const QString& dllVersionText, QWidget* parent);

    // "Version " and the program's major.minor.revision, from the running
    // executable's version block, or from the build's own version when the
    // executable carries none.
    static QString versionText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The link's look: magenta and underlined under the pointer, else light
    // green without underline.
    void setLinkHot(bool hot);

    QLabel* m_label3 = nullptr;
    bool m_linkPressed = false; // the left button went down on the link
};
