#include "recording/link_recorder.h"

#include "recording/capture_format.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string systemError(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

// "zelk-2025-01-10_12-34-56" in local time.
std::string baseName(int64_t epochUs) {
    const time_t seconds = time_t(epochUs / 1000000);
    tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    std::strftime(text, sizeof text, "zelk-%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

} // namespace

// A capture line waiting for its turn.
struct LinkRecorder::Pending {
    int64_t timeUs;
    CaptureKind kind;
    uint8_t count;
    uint8_t bytes[maxChunk];
    std::string text;
    uint64_t lost;
};

// The two files of one recording. Every write goes straight to the file with write(2), so that a
// refusal (a full disk) is seen at once, and nothing waits in a buffer if the program dies.
class LinkRecorder::Writer {
public:
    explicit Writer(std::atomic<uint64_t>& bytes) : bytes_(bytes) {}
    ~Writer() { close(); }

    bool open(const Start& start, std::string& capturePath, std::string& csvPath,
              std::string& error) {
        std::error_code ec;
        std::filesystem::create_directories(start.folder, ec);
        if (ec) {
            error = "cannot make the folder " + start.folder + ": " + ec.message();
            return false;
        }
        const std::string base = (std::filesystem::path(start.folder) / baseName(start.epochUs));
        // Two recordings within one second: the second gets a number; nothing is overwritten.
        for (int n = 1; n < 100; ++n) {
            const std::string stem = n == 1 ? base : base + "-" + std::to_string(n);
            capturePath_ = stem + ".capture";
            csvPath_ = stem + ".csv";
            capture_ = create(capturePath_);
            if (capture_ < 0 && errno == EEXIST)
                continue;
            if (capture_ < 0) {
                error = systemError("cannot create", capturePath_, errno);
                return false;
            }
            csv_ = create(csvPath_);
            if (csv_ < 0) {
                const int why = errno;
                ::close(capture_);
                capture_ = -1;
                unlink(capturePath_.c_str()); // empty, and made by this attempt
                if (why == EEXIST)
                    continue;
                error = systemError("cannot create", csvPath_, why);
                return false;
            }
            capturePath = capturePath_;
            csvPath = csvPath_;
            CaptureHeader header;
            header.start = captureStartText(start.epochUs);
            header.monotonicUs = start.monotonicUs;
            header.port = start.port;
            return write(capture_, capturePath_, captureHeaderLine(header), error) &&
                   write(csv_, csvPath_, telemetryCsvHeader(), error);
        }
        error = "cannot create a recording in " + start.folder + ": every name of " +
                baseName(start.epochUs) + " is taken";
        return false;
    }

    bool writeCapture(const std::string& text, std::string& error) {
        return write(capture_, capturePath_, text, error);
    }
    bool writeCsv(const std::string& text, std::string& error) {
        return write(csv_, csvPath_, text, error);
    }

    // A file removed under the recording (or its folder) takes the rest with it unseen: stop.
    bool stillThere(std::string& error) const {
        for (const auto& [fd, path] : {std::pair(capture_, &capturePath_), {csv_, &csvPath_}}) {
            struct stat st {};
            if (fstat(fd, &st) == 0 && st.st_nlink == 0) {
                error = *path + " was removed";
                return false;
            }
        }
        return true;
    }

    bool close(std::string* error = nullptr) {
        bool ok = true;
        for (auto& [fd, path] : {std::pair(&capture_, &capturePath_), {&csv_, &csvPath_}}) {
            if (*fd < 0)
                continue;
            if (::close(*fd) != 0 && ok && error) {
                *error = systemError("cannot write", *path, errno);
                ok = false;
            }
            *fd = -1;
        }
        return ok;
    }

private:
    static int create(const std::string& path) {
        return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    }

    bool write(int fd, const std::string& path, const std::string& text, std::string& error) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = systemError("cannot write", path, n < 0 ? errno : ENOSPC);
                return false;
            }
            done += size_t(n);
            bytes_.fetch_add(uint64_t(n), std::memory_order_relaxed);
        }
        return true;
    }

    std::atomic<uint64_t>& bytes_;
    int capture_ = -1, csv_ = -1;
    std::string capturePath_, csvPath_;
};

LinkRecorder::LinkRecorder() = default;

LinkRecorder::~LinkRecorder() {
    stop();
    // Ports of open items that no writer took.
    GuiSlot slot;
    while (gui_ && gui_->pop(slot))
        delete slot.port;
}

int64_t LinkRecorder::nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint32_t LinkRecorder::start(const Start& start, FailureHook onFailure) {
    if (running() || writer_.joinable())
        return 0;
    if (!rx_) {
        rx_ = std::make_unique<SpscRing<RxSlot, ringSlots>>();
        gui_ = std::make_unique<SpscRing<GuiSlot, ringSlots>>();
    }
    for (Lost* lost : {&rxLost_, &txLost_, &csvLost_}) {
        lost->count.store(0);
        lost->told = 0;
    }
    bytes_.store(0);
    rxLines_.store(0);
    csvRows_.store(0);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
        failureTold_ = false;
        endError_.reset();
        capturePath_.clear();
        csvPath_.clear();
        failure_.clear();
    }
    const uint32_t session = ++lastSession_ == 0 ? ++lastSession_ : lastSession_;
    session_.store(session, std::memory_order_release);
    writer_ = std::thread([this, session, start, onFailure] { run(session, start, onFailure); });
    return session;
}

std::optional<std::string> LinkRecorder::stop() {
    session_.store(0, std::memory_order_release);
    if (!writer_.joinable())
        return std::nullopt;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return endError_;
}

LinkRecorder::Status LinkRecorder::status() const {
    Status s;
    s.bytes = bytes_.load(std::memory_order_relaxed);
    s.lost = rxLost_.count.load() + txLost_.count.load() + csvLost_.count.load();
    s.rxLines = rxLines_.load(std::memory_order_relaxed);
    s.csvRows = csvRows_.load(std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(mutex_);
    s.capturePath = capturePath_;
    s.csvPath = csvPath_;
    s.failure = failure_;
    return s;
}

void LinkRecorder::received(const uint8_t* bytes, int count, int64_t atUs) noexcept {
    const uint32_t session = session_.load(std::memory_order_acquire);
    if (session == 0 || bytes == nullptr)
        return;
    for (int from = 0; from < count; from += maxChunk) {
        RxSlot slot;
        slot.session = session;
        slot.count = uint8_t(std::min(count - from, maxChunk));
        std::memcpy(slot.bytes, bytes + from, slot.count);
        slot.atUs = atUs;
        if (!rx_->push(slot)) {
            rxLost_.count.fetch_add(1);
            rxLost_.lastAtUs.store(atUs);
        }
    }
}

bool LinkRecorder::pushGui(const GuiSlot& slot) noexcept {
    if (gui_->push(slot))
        return true;
    Lost& lost = slot.kind == GuiKind::Telemetry ? csvLost_ : txLost_;
    lost.count.fetch_add(1);
    lost.lastAtUs.store(slot.atUs);
    return false;
}

void LinkRecorder::sent(const uint8_t* bytes, int count, bool accepted, int64_t atUs) noexcept {
    const uint32_t session = session_.load(std::memory_order_acquire);
    if (session == 0 || bytes == nullptr || count <= 0)
        return;
    GuiSlot slot{};
    slot.session = session;
    slot.kind = accepted ? GuiKind::Tx : GuiKind::Refused;
    slot.count = uint8_t(std::min(count, int(sizeof slot.bytes)));
    std::memcpy(slot.bytes, bytes, slot.count);
    slot.atUs = atUs;
    pushGui(slot);
}

void LinkRecorder::telemetry(const TelemetryRow& row, int64_t atUs) noexcept {
    const uint32_t session = session_.load(std::memory_order_acquire);
    if (session == 0)
        return;
    GuiSlot slot{};
    slot.session = session;
    slot.kind = GuiKind::Telemetry;
    slot.atUs = atUs;
    slot.row = row;
    pushGui(slot);
}

void LinkRecorder::opened(const std::string& port, int64_t atUs) {
    const uint32_t session = session_.load(std::memory_order_acquire);
    if (session == 0)
        return;
    GuiSlot slot{};
    slot.session = session;
    slot.kind = GuiKind::Open;
    slot.atUs = atUs;
    slot.port = new std::string(port);
    if (!pushGui(slot))
        delete slot.port;
}

void LinkRecorder::run(uint32_t session, Start start, FailureHook onFailure) {
    pthread_setname_np(pthread_self(), "zelk-recorder"); // its cost apart from the others'
    Writer files(bytes_);
    std::string error;
    std::vector<Pending> pending;
    std::string capture, csv;
    const auto since = [&start](int64_t atUs) {
        return std::max<int64_t>(atUs - start.monotonicUs, 0);
    };

    // Everything the rings hold for this session into pending (capture lines) and csv (rows).
    const auto take = [&] {
        RxSlot r;
        while (rx_->pop(r)) {
            if (r.session != session)
                continue; // handed over as an earlier recording ended
            Pending& p = pending.emplace_back();
            p.timeUs = since(r.atUs);
            p.kind = CaptureKind::Rx;
            p.count = r.count;
            std::memcpy(p.bytes, r.bytes, r.count);
            rxLines_.fetch_add(1, std::memory_order_relaxed);
        }
        GuiSlot g;
        while (gui_->pop(g)) {
            std::unique_ptr<std::string> port(g.port);
            if (g.session != session)
                continue;
            if (g.kind == GuiKind::Telemetry) {
                appendTelemetryCsvRow(csv, since(g.atUs), g.row);
                csvRows_.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            Pending& p = pending.emplace_back();
            p.timeUs = since(g.atUs);
            p.kind = g.kind == GuiKind::Tx        ? CaptureKind::Tx
                     : g.kind == GuiKind::Refused ? CaptureKind::Refused
                                                  : CaptureKind::Open;
            p.count = g.count;
            std::memcpy(p.bytes, g.bytes, g.count);
            p.text = port ? *port : std::string();
        }
        for (const auto& [lost, what] :
             {std::pair(&rxLost_, "rx"), {&txLost_, "tx"}, {&csvLost_, "csv"}}) {
            const uint64_t count = lost->count.load();
            if (count == lost->told)
                continue;
            Pending& p = pending.emplace_back();
            p.timeUs = since(lost->lastAtUs.load());
            p.kind = CaptureKind::Lost;
            p.text = what;
            p.lost = count - lost->told;
            lost->told = count;
        }
    };
    // The capture lines old enough (all of them at the end) in time order, then the rows.
    const auto write = [&](bool all) {
        std::stable_sort(pending.begin(), pending.end(),
                         [](const Pending& a, const Pending& b) { return a.timeUs < b.timeUs; });
        const int64_t upTo = since(nowUs()) - holdbackUs;
        size_t n = 0;
        for (; n < pending.size() && (all || pending[n].timeUs <= upTo); ++n) {
            const Pending& p = pending[n];
            if (p.kind == CaptureKind::Open)
                appendCaptureOpen(capture, p.timeUs, p.text);
            else if (p.kind == CaptureKind::Lost)
                appendCaptureLost(capture, p.timeUs, p.text, p.lost);
            else
                appendCaptureBytes(capture, p.timeUs, p.kind, p.bytes, p.count);
        }
        pending.erase(pending.begin(), pending.begin() + long(n));
        const bool ok = files.writeCapture(capture, error) && files.writeCsv(csv, error) &&
                        files.stillThere(error);
        capture.clear();
        csv.clear();
        return ok;
    };
    const auto fail = [&] {
        files.close();
        bool tell = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            failure_ = error;
            if (stopping_) {
                endError_ = error;
            } else {
                failureTold_ = tell = true;
            }
        }
        if (tell && onFailure)
            onFailure(session, error);
    };

    std::string capturePath, csvPath;
    const bool opened = files.open(start, capturePath, csvPath, error);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        capturePath_ = capturePath;
        csvPath_ = csvPath;
    }
    if (!opened)
        return fail();
    for (;;) {
        bool stopping;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(drainEveryMs),
                           [this] { return stopping_; });
            stopping = stopping_;
        }
        take();
        if (!write(stopping))
            return fail();
        if (stopping)
            break;
    }
    appendCaptureEnd(capture, since(nowUs()));
    if (!files.writeCapture(capture, error) || !files.close(&error))
        return fail();
}
