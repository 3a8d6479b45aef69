#pragma once

#include <QString>

// The main window's operations that a batch run drives, with the names the
// program has always used for them. frmMain implements them over its windows;
// the command-line batch implements them over a TileDesigner alone, so both
// paths run the very same steps.
class TileOperations
{
public:
    virtual ~TileOperations() = default;

    // Takes the picture file in as the source picture; false when it cannot
    // be read (error says why).
    virtual bool loadSource(const QString& path, QString* error) = 0;
    virtual void cmdExec_Click(qint16 index) = 0;
    virtual void picDst_MouseDown(qint16 index, int button, int shift, float x, float y) = 0;
    // Brightness by percentage; false when the percentage overflows.
    virtual bool CLight(qint16 iPercent) = 0;
    virtual void mnuBokashi_Click() = 0;
    virtual void mnuBlock_Click() = 0;
    virtual void mnuEnboss_Click() = 0;
    virtual void mnuGray_Click() = 0;
    virtual void mnuContrast_Click() = 0;
    // Saves the current tile under fileName (JPEG when the name ends in "jpg"
    // and the JPEG library is there, else BMP). A given name never opens a
    // dialog; false and error when the file could not be written. False with
    // the empty error when the JPEG writer failed and the windows have
    // reported it in its own message already: a batch run goes on.
    virtual bool SPic(const QString& fileName, QString* error) = 0;
};
