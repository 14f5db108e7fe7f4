// The interface settings dialog "接口参数设置": the input of card 0 (ASI, or CABLE with frequency,
// symbol rate and QAM mode) and the QAM signal detector, which scans the frequency table or tests
// one frequency on a thread of its own while the dialog follows it on a 500 ms timer.
#pragma once

#include <QDialog>

#include "acquisition/interface_dialog.h"
#include "acquisition/qam_scan.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace orv::gui {

class InterfaceDialogView : public QDialog {
    Q_OBJECT

  public:
    // Opens on `settings`, which "确 定" overwrites; `tuner` tunes card 0's CABLE input.
    explicit InterfaceDialogView(InterfaceSettings& settings, QWidget* parent = nullptr,
                                 ChannelTuner tuner = {});
    ~InterfaceDialogView() override;  // a scan still going is stopped first

    // Group "输入接口设置".
    QComboBox* inputList() const { return input_; }
    QComboBox* qamList() const { return qam_; }
    QLineEdit* frequencyEdit() const { return frequency_; }
    QLineEdit* symbolRateEdit() const { return symbolRate_; }
    QPushButton* okButton() const { return ok_; }
    // Group "QAM信号自动检测".
    QComboBox* scanQamList() const { return scanQam_; }
    QLineEdit* scanSymbolRateEdit() const { return scanSymbolRate_; }
    QRadioButton* automaticButton() const { return automatic_; }
    QRadioButton* manualButton() const { return manual_; }
    QLineEdit* scanFrequencyEdit() const { return scanFrequency_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QListWidget* resultList() const { return results_; }
    QProgressBar* progressBar() const { return bar_; }

    // A scan or a manual test goes on (or is ending after a stop).
    bool scanning() const { return scanning_; }
    // Timer 1: the bar moves on, the frequency under test and new results are shown; at the end
    // of the scan the controls come back.
    void tick();

    void accept() override;
    // Closing during a scan stops it; the dialog closes when the scan has ended.
    void reject() override;

  private:
    InterfaceDialog model() const;
    void startScan();
    void stopScan();
    void scanEnded();
    void enableScanControls(bool idle);
    void enableCableControls();

    InterfaceSettings& settings_;
    QamScan scan_;
    bool scanning_ = false;
    bool automaticScan_ = true;
    bool closeWhenEnded_ = false;
    int resultsShown_ = 0;
    QTimer* timer_ = nullptr;

    QComboBox* input_ = nullptr;
    QComboBox* qam_ = nullptr;
    QLineEdit* frequency_ = nullptr;
    QLineEdit* symbolRate_ = nullptr;
    QPushButton* ok_ = nullptr;
    QComboBox* scanQam_ = nullptr;
    QLineEdit* scanSymbolRate_ = nullptr;
    QRadioButton* automatic_ = nullptr;
    QRadioButton* manual_ = nullptr;
    QLineEdit* scanFrequency_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QListWidget* results_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace orv::gui
