#include "I2cTransfer.h"

#include "i2c_adapter.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint8_t kStart = 0x02;
constexpr uint8_t kStop = 0x03;
constexpr uint8_t kReadByte = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNack = 0x07;
constexpr uint8_t kWriteThenRead = 0x08;
constexpr uint8_t kWriteBulk = 0x10; // + count - 1: up to 16 bytes, one acknowledge each
constexpr size_t kMaxWriteThenRead = 4096; // the firmware's buffer
constexpr size_t kMinFetch = 16;
constexpr size_t kMaxGuess = 256; // a record or a page: longer reads announce themselves
constexpr int kBaseTimeoutMs = 1000;

} // namespace

void I2cTransfer::Begin(AdapterLink* pLink, const TransferMode& mode)
{
    End();
    m_pLink = pLink;
    m_mode = mode;
    m_lastReadLength = kMinFetch;
}

void I2cTransfer::End()
{
    m_pLink = nullptr;
    m_phase = Phase::Idle;
    m_bOpen = false;
    m_bNacked = false;
    m_queue.clear();
    m_queuedWrites = 0;
    m_fetched.clear();
}

bool I2cTransfer::SendStart()
{
    uint8_t reply = 0;
    if (!m_pLink->Send(&kStart, 1) || !m_pLink->Receive(&reply, 1, kBaseTimeoutMs))
        return false;
    if (reply != 0x01)
        m_pLink->Violation("start answered " + std::to_string(reply));
    return reply == 0x01;
}

bool I2cTransfer::SendStop()
{
    uint8_t reply = 0;
    if (!m_pLink->Send(&kStop, 1) || !m_pLink->Receive(&reply, 1, kBaseTimeoutMs))
        return false;
    if (reply != 0x01)
        m_pLink->Violation("stop answered " + std::to_string(reply));
    return reply == 0x01;
}

int I2cTransfer::SendWrite(uint8_t byte)
{
    const uint8_t command[] = { kWriteBulk, byte };
    uint8_t reply[2] = {};
    if (!m_pLink->Send(command, sizeof command) || !m_pLink->Receive(reply, sizeof reply, kBaseTimeoutMs))
        return 1;
    if (reply[0] != 0x01 || reply[1] > 1) {
        m_pLink->Violation("write answered " + std::to_string(reply[0]) + " " + std::to_string(reply[1]));
        return 1;
    }
    if (reply[1] != 0)
        m_bNacked = true;
    return reply[1];
}

int I2cTransfer::SendRead(bool bLast)
{
    // After a refused select or address byte nobody drives the bus: there is nothing to read.
    if (m_bNacked)
        return I2C_READ_FAILED;
    // The read and its acknowledge bit travel together: two bytes in flight suit any adapter.
    const uint8_t command[] = { kReadByte, bLast ? kNack : kAck };
    uint8_t reply[2] = {};
    if (!m_pLink->Send(command, sizeof command) || !m_pLink->Receive(reply, sizeof reply, kBaseTimeoutMs))
        return I2C_READ_FAILED;
    if (reply[1] != 0x01) {
        m_pLink->Violation("acknowledge bit answered " + std::to_string(reply[1]));
        return I2C_READ_FAILED;
    }
    return reply[0];
}

// Puts the queued operations on the bus one by one; the transaction then goes on byte by byte.
bool I2cTransfer::SendQueue()
{
    std::vector<Op> queue;
    queue.swap(m_queue);
    m_queuedWrites = 0;
    m_phase = Phase::Direct;
    for (const Op& op : queue) {
        if (op.bStart)
            SendStart();
        else
            SendWrite(op.byte);
        if (m_pLink->Dead())
            return false;
    }
    return true;
}

std::vector<uint8_t> I2cTransfer::Frame(const std::vector<uint8_t>& writes, size_t readCount) const
{
    std::vector<uint8_t> frame;
    frame.reserve(5 + writes.size());
    frame.push_back(kWriteThenRead);
    frame.push_back(static_cast<uint8_t>(writes.size() >> 8));
    frame.push_back(static_cast<uint8_t>(writes.size() & 0xFF));
    frame.push_back(static_cast<uint8_t>(readCount >> 8));
    frame.push_back(static_cast<uint8_t>(readCount & 0xFF));
    for (uint8_t byte : writes)
        frame.push_back(byte);
    return frame;
}

int I2cTransfer::TimeoutMs(size_t writes, size_t reads) const
{
    size_t lineUs = (writes + reads + 6) * static_cast<size_t>(m_mode.lineByteUs);
    size_t busUs = (writes + reads + 2) * static_cast<size_t>(m_mode.busByteUs);
    return kBaseTimeoutMs + static_cast<int>(2 * (lineUs + busUs) / 1000);
}

// A write-then-read answers 0x01 and the bytes read, or 0x00 when a written byte was not
// acknowledged; then nothing was read and no stop condition was sent.
I2cTransfer::Outcome I2cTransfer::ReceiveReply(size_t readCount, int timeoutMs)
{
    uint8_t status = 0;
    if (!m_pLink->Receive(&status, 1, timeoutMs))
        return Outcome::Failed;
    if (status == 0x00)
        return Outcome::Nacked;
    if (status != 0x01) {
        m_pLink->Violation("write-then-read answered " + std::to_string(status));
        return Outcome::Failed;
    }
    m_fetched.assign(readCount, 0);
    m_nextFetched = 0;
    if (readCount && !m_pLink->Receive(m_fetched.data(), readCount, timeoutMs))
        return Outcome::Failed;
    return Outcome::Acked;
}

I2cTransfer::Outcome I2cTransfer::WriteThenRead(const std::vector<uint8_t>& writes, size_t readCount)
{
    std::vector<uint8_t> frame = Frame(writes, readCount);
    if (!m_pLink->Send(frame.data(), frame.size()))
        return Outcome::Failed;
    return ReceiveReply(readCount, TimeoutMs(writes.size(), readCount));
}

bool I2cTransfer::QueueIsWriteTransaction(std::vector<uint8_t>& writes) const
{
    if (m_queue.size() < 2 || !m_queue[0].bStart)
        return false;
    for (size_t i = 1; i < m_queue.size(); ++i) {
        if (m_queue[i].bStart)
            return false;
        writes.push_back(m_queue[i].byte);
    }
    return true;
}

// start, select (write), address bytes..., start, select (read); or start, select (read).
bool I2cTransfer::QueueIsRandomRead(std::vector<uint8_t>& address, uint8_t& readSelect) const
{
    size_t n = m_queue.size();
    if (n < 2 || !m_queue[0].bStart || m_queue[n - 1].bStart || !(m_queue[n - 1].byte & 1))
        return false;
    readSelect = m_queue[n - 1].byte;
    if (n == 2)
        return true;
    if (n < 4 || !m_queue[n - 2].bStart || (m_queue[1].byte & 1))
        return false;
    for (size_t i = 1; i < n - 2; ++i) {
        if (m_queue[i].bStart)
            return false;
        address.push_back(m_queue[i].byte);
    }
    return true;
}

// Which commands fetch a random read, or Unfit when it runs byte by byte.
I2cTransfer::ReadPath I2cTransfer::PathFor(const std::vector<uint8_t>& address) const
{
    if (address.empty())
        return ReadPath::CurrentAddress;
    // A v3 polls a four-byte receive FIFO. It takes a start, a bulk write command and three bytes
    // behind them at any bus and line speed: at most those four wait while the start is on the bus.
    return address.size() <= (m_mode.bDeepInput ? 16u : 3u) ? ReadPath::BulkThenRead : ReadPath::Unfit;
}

// The read command may follow the address bytes at once when the adapter keeps up with them: a
// byte's bus time at 400 kHz is well under its 87 us on a 115200 baud line; at 100 kHz, or on a
// faster line, it is not.
bool I2cTransfer::ReadFollowsAtOnce(size_t addressBytes) const
{
    return m_mode.bDeepInput || (addressBytes <= 3 && m_mode.busByteUs < m_mode.lineByteUs);
}

// The read's length is guessed from the previous one; reading ahead is harmless on an EEPROM.
bool I2cTransfer::FetchFirst(ReadPath path, const std::vector<uint8_t>& address, uint8_t readSelect)
{
    m_queue.clear();
    m_queuedWrites = 0;
    m_phase = Phase::Fetched;
    m_readSelect = readSelect;
    m_served = 0;
    m_bCallerNacked = false;
    m_fetched.clear();
    m_nextFetched = 0;
    size_t count = std::clamp<size_t>(ExpectedReads(), 1, kMaxWriteThenRead);
    Outcome outcome;
    if (path == ReadPath::CurrentAddress) {
        outcome = WriteThenRead({ readSelect }, count);
    } else {
        // A start and a bulk write of the address, then a write-then-read of the read select alone,
        // whose own start is the repeated start. Only later community firmware puts a repeated start
        // into a write-then-read of more bytes, and only some of the builds that call themselves
        // "v7.1"; without it the reads would be clocked as writes of 0xFF into the page. No stop
        // comes between: after bare address bytes a stop may start a write cycle on some parts.
        std::vector<uint8_t> command = { kStart, static_cast<uint8_t>(kWriteBulk | (address.size() - 1)) };
        for (uint8_t byte : address)
            command.push_back(byte);
        std::vector<uint8_t> read = Frame({ readSelect }, count);
        bool bAtOnce = ReadFollowsAtOnce(address.size());
        if (bAtOnce)
            for (uint8_t byte : read)
                command.push_back(byte);
        std::vector<uint8_t> replies(2 + address.size());
        if (!m_pLink->Send(command.data(), command.size())
            || !m_pLink->Receive(replies.data(), replies.size(), TimeoutMs(address.size(), 0)))
            return false;
        if (replies[0] != 0x01 || replies[1] != 0x01
            || std::any_of(replies.begin() + 2, replies.end(), [](uint8_t ack) { return ack > 1; })) {
            m_pLink->Violation("bulk write answered " + std::to_string(replies[1]));
            return false;
        }
        // Bytes read after a refused address would come from wherever the device's counter stands.
        bool bAddressRefused = std::any_of(replies.begin() + 2, replies.end(), [](uint8_t ack) { return ack != 0; });
        if (bAddressRefused && !bAtOnce) {
            m_bNacked = true;
            return SendStop() && Usable();
        }
        if (!bAtOnce && !m_pLink->Send(read.data(), read.size()))
            return false;
        outcome = ReceiveReply(count, TimeoutMs(1, count));
        if (bAddressRefused && outcome == Outcome::Acked)
            outcome = Outcome::Refused;
    }
    return Settle(outcome);
}

// A select byte alone asks whether the device is there and done with its write cycle: more often
// than not it is refused, and the firmware then leaves the stop to the host. The stop goes along at
// once, so that the answer costs one round trip either way; after an acknowledge the firmware has
// stopped already, and the extra stop is a start and a stop on an idle bus.
bool I2cTransfer::Probe(uint8_t select)
{
    std::vector<uint8_t> frame = Frame({ select }, 0);
    frame.push_back(kStop);
    uint8_t stopReply = 0;
    if (!m_pLink->Send(frame.data(), frame.size()))
        return false;
    Outcome outcome = ReceiveReply(0, TimeoutMs(1, 0));
    if (outcome == Outcome::Failed || !m_pLink->Receive(&stopReply, 1, kBaseTimeoutMs))
        return false;
    if (stopReply != 0x01) {
        m_pLink->Violation("stop answered " + std::to_string(stopReply));
        return false;
    }
    m_bNacked |= outcome == Outcome::Nacked;
    return Usable();
}

// A refused write-then-read leaves the bus without a stop condition; a completed one has sent its own.
bool I2cTransfer::Settle(Outcome outcome)
{
    if (outcome == Outcome::Nacked || outcome == Outcome::Refused)
        m_bNacked = true;
    if (outcome == Outcome::Nacked)
        SendStop();
    return outcome != Outcome::Failed && Usable();
}

// The caller reads beyond what was fetched: the device's address counter has moved on by the
// bytes fetched, so a read from its current address continues the sequence.
bool I2cTransfer::FetchMore()
{
    size_t expected = ExpectedReads();
    size_t count
        = std::clamp<size_t>(std::max(expected > m_served ? expected - m_served : 0, kMinFetch), 1, kMaxWriteThenRead);
    return Settle(WriteThenRead({ m_readSelect }, count));
}

int I2cTransfer::ServeFetched(bool bLast)
{
    ++m_served;
    if (m_bNacked)
        return I2C_READ_FAILED;
    // Told the read is over, the device leaves the bus high.
    if (m_bCallerNacked)
        return 0xFF;
    if (m_nextFetched == m_fetched.size() && (!FetchMore() || m_bNacked))
        return I2C_READ_FAILED;
    m_bCallerNacked = bLast;
    return m_fetched[m_nextFetched++];
}

void I2cTransfer::EndFetched()
{
    m_lastReadLength = std::clamp<size_t>(m_served, 1, kMaxGuess);
    m_fetched.clear();
    m_phase = Phase::Idle;
}

int I2cTransfer::Start()
{
    if (!Usable())
        return 0;
    // A repeated start continues the transaction: a refusal before it still counts at its stop.
    if (!m_bOpen)
        m_bNacked = false;
    m_bOpen = true;
    if (m_phase == Phase::Fetched)
        EndFetched();
    if (!m_mode.bPipeline || m_phase == Phase::Direct) {
        m_phase = Phase::Direct;
        return SendStart() ? 1 : 0;
    }
    m_phase = Phase::Queued;
    m_queue.push_back({ true, 0 });
    return 1;
}

int I2cTransfer::Write(uint8_t byte)
{
    if (!Usable())
        return 1;
    if (m_phase == Phase::Queued && m_queuedWrites < kMaxWriteThenRead) {
        m_queue.push_back({ false, byte });
        ++m_queuedWrites;
        return 0; // not known yet; nobody asks
    }
    if (m_phase == Phase::Fetched)
        EndFetched();
    if (m_phase == Phase::Queued && !SendQueue())
        return 1;
    m_phase = Phase::Direct;
    return SendWrite(byte);
}

int I2cTransfer::Read(bool bLast)
{
    if (!Usable())
        return I2C_READ_FAILED;
    if (m_phase == Phase::Fetched)
        return ServeFetched(bLast);
    if (m_phase == Phase::Queued) {
        std::vector<uint8_t> address;
        uint8_t readSelect = 0;
        ReadPath path = QueueIsRandomRead(address, readSelect) ? PathFor(address) : ReadPath::Unfit;
        if (path != ReadPath::Unfit)
            return FetchFirst(path, address, readSelect) ? ServeFetched(bLast) : I2C_READ_FAILED;
        if (!SendQueue())
            return I2C_READ_FAILED;
    }
    m_phase = Phase::Direct;
    return SendRead(bLast);
}

int I2cTransfer::ReadBlock(uint8_t* p, size_t n, bool bLast)
{
    // Announced, the reads are fetched in as few commands as the firmware's buffer allows.
    m_wanted = (m_phase == Phase::Fetched ? m_served : 0) + n;
    size_t i = 0;
    for (; i < n; ++i) {
        int value = Read(bLast && i + 1 == n);
        if (value < 0 || value > 0xFF)
            break;
        p[i] = static_cast<uint8_t>(value);
    }
    m_wanted = 0;
    return i == n ? static_cast<int>(n) : I2C_READ_FAILED;
}

int I2cTransfer::Stop()
{
    bool bDone = Usable() && EndTransaction();
    bool bAcknowledged = !m_bNacked;
    m_bOpen = false;
    m_bNacked = false;
    return bDone && bAcknowledged && Usable() ? 1 : 0;
}

// Puts whatever of the transaction is still queued on the bus, and the stop condition.
bool I2cTransfer::EndTransaction()
{
    std::vector<uint8_t> writes;
    if (m_phase == Phase::Fetched) {
        // The write-then-read has put its stop on the bus already.
        EndFetched();
        return true;
    }
    if (m_phase == Phase::Queued && QueueIsWriteTransaction(writes)) {
        m_queue.clear();
        m_queuedWrites = 0;
        m_phase = Phase::Idle;
        // The stop is on the bus when the reply comes, so the caller's write wait starts right.
        if (writes.size() > 1)
            return Settle(WriteThenRead(writes, 0));
        return Probe(writes[0]);
    }
    if (m_phase == Phase::Queued && !SendQueue())
        return false;
    m_phase = Phase::Idle;
    return SendStop();
}
