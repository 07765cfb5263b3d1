// The six bus operations over a link in raw I2C mode. Byte by byte, every operation is one
// command and one round trip. Pipelined, start and write are queued (their acknowledges reach the
// caller through the stop), a write transaction leaves as one write-then-read command at its stop, and the
// random-read pattern (start, select, address, start, select|1, reads) fetches its bytes in one
// go and serves the reads that follow from them. Whatever does not fit runs byte by byte.
#pragma once

#include "AdapterLink.h"

#include <cstdint>
#include <vector>

struct TransferMode {
    bool bPipeline = false;
    bool bDeepInput = false; // the adapter takes any number of command bytes (USB flow control: v4)
    int busByteUs = 60; // one byte on the bus at the chosen speed, for reply timeouts
    int lineByteUs = 87; // one byte on the serial line: 10 bits at its baud rate
};

class I2cTransfer {
public:
    void Begin(AdapterLink* pLink, const TransferMode& mode);
    // Forgets queued operations and the link, which is about to be released.
    void End();

    int Start();
    int Stop();
    int Write(uint8_t byte);
    int Read(bool bLast);
    // n reads, as many calls of Read would do; n, or I2C_READ_FAILED.
    int ReadBlock(uint8_t* p, size_t n, bool bLast);

private:
    enum class Phase { Idle, Queued, Direct, Fetched };
    // Refused: the adapter completed the command, but the device had refused a byte before it.
    enum class Outcome { Acked, Nacked, Refused, Failed };
    enum class ReadPath { CurrentAddress, BulkThenRead, Unfit };
    struct Op {
        bool bStart;
        uint8_t byte;
    };

    bool Usable() const { return m_pLink && !m_pLink->Dead(); }
    bool SendStart();
    bool SendStop();
    int SendWrite(uint8_t byte);
    int SendRead(bool bLast);
    bool SendQueue();
    bool QueueIsWriteTransaction(std::vector<uint8_t>& writes) const;
    bool QueueIsRandomRead(std::vector<uint8_t>& address, uint8_t& readSelect) const;
    ReadPath PathFor(const std::vector<uint8_t>& address) const;
    bool ReadFollowsAtOnce(size_t addressBytes) const;
    bool FetchFirst(ReadPath path, const std::vector<uint8_t>& address, uint8_t readSelect);
    bool FetchMore();
    bool Settle(Outcome outcome);
    bool Probe(uint8_t select);
    bool EndTransaction();
    int ServeFetched(bool bLast);
    void EndFetched();
    std::vector<uint8_t> Frame(const std::vector<uint8_t>& writes, size_t readCount) const;
    int TimeoutMs(size_t writes, size_t reads) const;
    Outcome ReceiveReply(size_t readCount, int timeoutMs);
    Outcome WriteThenRead(const std::vector<uint8_t>& writes, size_t readCount);

    AdapterLink* m_pLink = nullptr;
    TransferMode m_mode;
    Phase m_phase = Phase::Idle;
    std::vector<Op> m_queue;
    size_t m_queuedWrites = 0;
    // A fetched read: the bytes, how many the caller has had, and the select byte that continues
    // the read from the device's current address.
    std::vector<uint8_t> m_fetched;
    size_t m_nextFetched = 0;
    size_t m_served = 0;
    uint8_t m_readSelect = 0;
    bool m_bCallerNacked = false;
    // A transaction is open from its start condition to its stop; any byte the device refused in
    // it fails the stop, and the reads after the refusal.
    bool m_bOpen = false;
    bool m_bNacked = false;
    size_t m_lastReadLength = 16;
    size_t m_wanted = 0; // the reads a block read has announced for the transaction, or 0
    size_t ExpectedReads() const { return m_wanted ? m_wanted : m_lastReadLength; }
};
