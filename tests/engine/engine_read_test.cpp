// Reading: the chunk size, the 50 ms quiet time and the acknowledgement that paces reads.

#include "engine_fixture.h"

#include <thread>

using EngineRead = EngineTest;

TEST_F(EngineRead, ReadChunkStartsAtOneAndIsCappedAt1024) {
    EXPECT_EQ(link->get_read_chunk(), 1);
    link->set_read_chunk(32);
    EXPECT_EQ(link->get_read_chunk(), 32);
    link->set_read_chunk(1024);
    EXPECT_EQ(link->get_read_chunk(), 1024);
    link->set_read_chunk(1025);
    EXPECT_EQ(link->get_read_chunk(), 1024);
    link->set_read_chunk(5000);
    EXPECT_EQ(link->get_read_chunk(), 1024);
}

TEST_F(EngineRead, BurstLongerThanTheChunkIsPacedByAcknowledgement) {
    open_console_style(32);
    const auto burst = pattern(40, 0x61);
    ASSERT_TRUE(pty.write_all(burst));

    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 1, kArrive));
    auto chunks = recorder.chunks();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].data, std::vector<uint8_t>(burst.begin(), burst.begin() + 32));

    // No acknowledgement, no further read: the rest waits, and the chunk stays as delivered.
    EXPECT_FALSE(recorder.wait_count(LINK_DATA, 2, std::chrono::milliseconds(kQuietWindowMs)));
    EXPECT_EQ(link->received_count(), 32);
    EXPECT_EQ(std::vector<uint8_t>(link->received_data(), link->received_data() + 32),
              chunks[0].data);

    link->acknowledge_data();
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 2, kArrive));
    chunks = recorder.chunks();
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[1].data, std::vector<uint8_t>(burst.begin() + 32, burst.end()));
}

TEST_F(EngineRead, LargestReadFills1024BytesAndNeverTheLastBufferByte) {
    open_console_style(5000);
    const std::vector<uint8_t> burst(1100, 0xA5);
    ASSERT_TRUE(pty.write_all(burst));

    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 1, kArrive));
    auto chunks = recorder.chunks();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].data.size(), 1024u);
    EXPECT_EQ(chunks[0].tail_byte, 0) << "a read wrote past 1024 bytes";

    link->acknowledge_data();
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 2, kArrive));
    chunks = recorder.chunks();
    EXPECT_EQ(chunks[1].data.size(), 76u);
    EXPECT_EQ(chunks[1].tail_byte, 0);
    EXPECT_EQ(recorder.received_bytes(), burst);
}

TEST_F(EngineRead, QuietGapLongerThan50msSplitsChunks) {
    recorder.set_auto_acknowledge(true);
    open_console_style(32);
    const auto first = pattern(5, 0x01);
    const auto second = pattern(5, 0x41);
    ASSERT_TRUE(pty.write_all(first));
    std::this_thread::sleep_for(300ms); // the gap under test, six times the quiet time
    ASSERT_TRUE(pty.write_all(second));

    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 2, kArrive));
    EXPECT_FALSE(recorder.wait_count(LINK_DATA, 3, std::chrono::milliseconds(kQuietWindowMs)));
    const auto chunks = recorder.chunks();
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].data, first);
    EXPECT_EQ(chunks[1].data, second);
}

TEST_F(EngineRead, BytesWithShortGapsStayInOneChunkPastThe50msMark) {
    // Ten single bytes 20 ms apart span about 180 ms, much longer than the quiet time, yet no gap
    // reaches it: the read ends 50 ms after the LAST byte, not the first. The gaps come from
    // sleeps, which a loaded machine may stretch; a trial whose measured gaps came near 50 ms
    // proves nothing and is repeated.
    recorder.set_auto_acknowledge(true);
    open_console_style(32);
    const auto bytes = pattern(10, 0x11);
    bool clean_trial = false;
    for (int trial = 0; trial < 5 && !clean_trial; ++trial) {
        const size_t before = recorder.received_bytes().size();
        const int chunks_before = recorder.count(LINK_DATA);
        double worst_gap = 0;
        double last = now_ms();
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(20ms);
            ASSERT_TRUE(pty.write_all(&bytes[i], 1));
            const double t = now_ms();
            if (i > 0 && t - last > worst_gap)
                worst_gap = t - last;
            last = t;
        }
        ASSERT_TRUE(recorder.wait_bytes(before + bytes.size(), kArrive));
        // Give a late second chunk time to show before counting.
        recorder.wait_count(LINK_DATA, chunks_before + 2, 150ms);
        if (worst_gap >= 35)
            continue;
        clean_trial = true;
        const auto chunks = recorder.chunks();
        ASSERT_EQ(int(chunks.size()), chunks_before + 1)
            << "split although the largest gap was " << worst_gap << " ms";
        EXPECT_EQ(chunks.back().data, bytes);
    }
    if (!clean_trial)
        GTEST_SKIP() << "the machine never kept the write gaps under 35 ms";
}

TEST_F(EngineRead, AcknowledgeWhileAReadIsPostedChangesNothing) {
    open_console_style(32);
    // The first read is posted right after LINK_OPENED; extra acknowledgements now must not
    // queue up further reads.
    std::this_thread::sleep_for(100ms);
    for (int i = 0; i < 5; ++i)
        link->acknowledge_data();
    std::this_thread::sleep_for(100ms);

    const auto burst = pattern(40, 0x21);
    ASSERT_TRUE(pty.write_all(burst));
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 1, kArrive));
    EXPECT_FALSE(recorder.wait_count(LINK_DATA, 2, std::chrono::milliseconds(kQuietWindowMs)))
        << "an acknowledgement given while a read was posted started another read";
    auto chunks = recorder.chunks();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].data, std::vector<uint8_t>(burst.begin(), burst.begin() + 32));

    link->acknowledge_data();
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 2, kArrive));
    chunks = recorder.chunks();
    EXPECT_EQ(chunks[1].data, std::vector<uint8_t>(burst.begin() + 32, burst.end()));
}

TEST_F(EngineRead, AcknowledgingInsideTheCallbackKeepsAStreamWhole) {
    recorder.set_auto_acknowledge(true);
    open_console_style(32);
    std::vector<uint8_t> stream;
    for (int i = 0; i < 20; ++i) {
        const auto piece = pattern(size_t(1 + (i * 11) % 60), uint8_t(i));
        stream.insert(stream.end(), piece.begin(), piece.end());
        ASSERT_TRUE(pty.write_all(piece));
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 3 == 0 ? 70 : 5));
    }
    ASSERT_TRUE(recorder.wait_bytes(stream.size(), kArrive));
    EXPECT_EQ(recorder.received_bytes(), stream);
    for (const auto& c : recorder.chunks()) {
        EXPECT_GE(c.data.size(), 1u);
        EXPECT_LE(c.data.size(), 32u);
    }
}

TEST_F(EngineRead, BytesWaitingForTheAcknowledgementLeaveTheWorkerAsleepAndWritesFlowing) {
    open_console_style(32);
    const auto burst = pattern(40, 0x71);
    ASSERT_TRUE(pty.write_all(burst));
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 1, kArrive));

    // Eight bytes now wait readable on the port while the chunk is not acknowledged: the worker
    // must neither read them nor spin on them.
    const double cpu_before = process_cpu_ms();
    const double start = now_ms();
    EXPECT_FALSE(recorder.wait_count(LINK_DATA, 2, std::chrono::milliseconds(kQuietWindowMs)));
    const double cpu_used = process_cpu_ms() - cpu_before;
    const double wall = now_ms() - start;
    EXPECT_LT(cpu_used, 0.2 * wall) << cpu_used << " ms CPU in " << wall << " ms";

    // Meanwhile a send still reaches the line at once.
    const std::vector<uint8_t> frame{0xFC, 0xFD, 0x64, 0x64};
    link->send_bytes(frame.data(), int(frame.size()));
    EXPECT_EQ(pty.read_exact(frame.size(), 2000), frame);
    EXPECT_EQ(recorder.count(LINK_DATA), 1);

    link->acknowledge_data();
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 2, kArrive));
    EXPECT_EQ(recorder.chunks()[1].data, std::vector<uint8_t>(burst.begin() + 32, burst.end()));
}

TEST_F(EngineRead, TheAcknowledgedReadKeepsTheChunkSizeOfTheAcknowledgement) {
    open_console_style(32);
    const auto first = pattern(5, 0x13);
    ASSERT_TRUE(pty.write_all(first));
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 1, kArrive));

    // The acknowledgement asks for a read of 32; a new chunk size right after it must not shrink
    // that read, whether or not the worker has posted it yet.
    link->acknowledge_data();
    link->set_read_chunk(4);
    const auto second = pattern(10, 0x37);
    ASSERT_TRUE(pty.write_all(second));
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 2, kArrive));

    // The reads asked for after the change have the new size.
    link->acknowledge_data();
    const auto third = pattern(10, 0x59);
    ASSERT_TRUE(pty.write_all(third));
    for (int n = 3; n <= 5; ++n) {
        ASSERT_TRUE(recorder.wait_count(LINK_DATA, n, kArrive));
        link->acknowledge_data();
    }
    EXPECT_FALSE(recorder.wait_count(LINK_DATA, 6, std::chrono::milliseconds(kQuietWindowMs)));
    const auto chunks = recorder.chunks();
    ASSERT_EQ(chunks.size(), 5u);
    EXPECT_EQ(chunks[0].data, first);
    EXPECT_EQ(chunks[1].data, second);
    EXPECT_EQ(chunks[2].data, std::vector<uint8_t>(third.begin(), third.begin() + 4));
    EXPECT_EQ(chunks[3].data, std::vector<uint8_t>(third.begin() + 4, third.begin() + 8));
    EXPECT_EQ(chunks[4].data, std::vector<uint8_t>(third.begin() + 8, third.end()));
}
