// The recording dialog "TS码流录制": its own input settings, the initialisation step that lists
// the input's rate, packet length and PIDs, the PID filter, the size or time limit, the file and
// the progress. The initialisation and the recording run on threads of their own; the dialog
// follows them on its timer and never waits on the card.
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <thread>

#include "acquisition/pid_list.h"
#include "acquisition/recorder.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace orv::gui {

class RecordDialogView : public QDialog {
    Q_OBJECT

  public:
    // Records from `feed` (capture card 0 when none is given).
    explicit RecordDialogView(QWidget* parent = nullptr, std::unique_ptr<RecordFeed> feed = {});
    ~RecordDialogView() override;  // an initialisation or recording still going is stopped

    // Group "参数设置".
    QComboBox* inputList() const { return input_; }
    QComboBox* recordModeList() const { return recordMode_; }
    QLineEdit* frequencyEdit() const { return frequency_; }
    QLineEdit* symbolRateEdit() const { return symbolRate_; }
    QComboBox* qamList() const { return qam_; }
    QPushButton* initButton() const { return init_; }
    // Group "传送流信息".
    QLineEdit* bitrateEdit() const { return bitrate_; }
    QLineEdit* packetLengthEdit() const { return packetLength_; }
    QListWidget* infoList() const { return info_; }
    // Group "码流录制设置".
    QRadioButton* filterButton(FilterMode mode) const;
    QLineEdit* pidEntry() const { return pidEntry_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* removeButton() const { return remove_; }
    QListWidget* pidList() const { return pidList_; }
    // Group "录制方式" and the file.
    QRadioButton* sizeButton() const { return sizeLimit_; }
    QRadioButton* timeButton() const { return timeLimit_; }
    QLineEdit* sizeEdit() const { return sizeEdit_; }
    QLineEdit* timeEdit() const { return timeEdit_; }
    QLineEdit* pathEdit() const { return path_; }
    QPushButton* browseButton() const { return browse_; }
    // "已完成：".
    QProgressBar* progressBar() const { return bar_; }
    QLabel* percentLabel() const { return percent_; }
    QLabel* writtenLabel() const { return written_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* closeButton() const { return close_; }

    // The initialisation step or a recording goes on.
    bool busy() const { return initialising_ || recording_; }
    bool initialising() const { return initialising_; }
    bool recording() const { return recording_; }
    // Timer 1: the progress of the recording, the information list as the thread fills it, and
    // the stop procedure when the recording has ended.
    void tick();

    // Closing is possible only while idle.
    void reject() override;

  private:
    RecordSettings settingsFromControls() const;
    void initialise();
    void initialiseEnded();
    void startRecording();
    void stopRecording();
    void recordingEnded();
    void showInit(const RecordInit& init);
    void enableIdleControls(bool idle);
    void enableInputControls();
    void enableFilterControls();
    void enableLimitControls();
    void addPid();
    void removePid();
    void browse();
    bool cardRefused() const;

    std::unique_ptr<RecordFeed> feed_;
    Recorder recorder_;
    std::thread initThread_;
    RecordInit initResult_;  // written by the initialisation thread, read after its join
    bool initialising_ = false;
    bool recording_ = false;
    RecordSettings recordSettings_;  // of the recording going on
    std::vector<std::string> infoShown_;
    PidListModel pids_;
    QTimer* timer_ = nullptr;

    QComboBox* input_ = nullptr;
    QComboBox* recordMode_ = nullptr;
    QLineEdit* frequency_ = nullptr;
    QLineEdit* symbolRate_ = nullptr;
    QComboBox* qam_ = nullptr;
    QPushButton* init_ = nullptr;
    QLineEdit* bitrate_ = nullptr;
    QLineEdit* packetLength_ = nullptr;
    QListWidget* info_ = nullptr;
    QButtonGroup* filterGroup_ = nullptr;
    QLineEdit* pidEntry_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QListWidget* pidList_ = nullptr;
    QRadioButton* sizeLimit_ = nullptr;
    QRadioButton* timeLimit_ = nullptr;
    QLineEdit* sizeEdit_ = nullptr;
    QLineEdit* timeEdit_ = nullptr;
    QLineEdit* path_ = nullptr;
    QPushButton* browse_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* percent_ = nullptr;
    QLabel* written_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace orv::gui
