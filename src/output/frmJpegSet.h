#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

// The JPEG quality dialog "JPEG圧縮率設定": a text box and a scroll bar that
// follow each other, and "&Set", which accepts only a whole number from 1 to
// 100. Closing it any other way keeps the quality as it was.
class frmJpegSet : public QDialog
{
    Q_OBJECT

public:
    // Opens on the current quality (shown in the text, which moves the bar).
    explicit frmJpegSet(qint16 currentQuality, QWidget* parent = nullptr);

    // The quality chosen with "&Set"; the opening quality otherwise.
    qint16 quality() const { return m_quality; }

    QLineEdit* txtPercents() const { return m_txtPercents; }
    QScrollBar* hsbJpeg() const { return m_hsbJpeg; }
    QPushButton* cmdSet() const { return m_cmdSet; }

private slots:
    void txtPercents_Change(const QString& text);
    void hsbJpeg_Change(int value);
    void cmdSet_Click();

private:
    QLineEdit* m_txtPercents = nullptr;
    QScrollBar* m_hsbJpeg = nullptr;
    QPushButton* m_cmdSet = nullptr;
    qint16 m_quality;
    bool m_barFollowsText = false;
};
