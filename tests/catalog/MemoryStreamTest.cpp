#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MemoryStream.h"

namespace {

class MemoryStreamTest : public ::testing::Test {
protected:
    void SetUp() override { stream.Init("0123456789", 10); }

    HRESULT SeekTo(LONGLONG move, DWORD origin, ULONGLONG* position = nullptr)
    {
        LARGE_INTEGER distance;
        distance.QuadPart = move;
        ULARGE_INTEGER at;
        at.QuadPart = ~0ull;
        HRESULT hr = stream.Seek(distance, origin, &at);
        if (position)
            *position = at.QuadPart;
        return hr;
    }

    ULONGLONG Position()
    {
        ULONGLONG position = 0;
        EXPECT_EQ(S_OK, SeekTo(0, STREAM_SEEK_CUR, &position));
        return position;
    }

    // The bytes a Read of wanted copies; the result and count go to hr and count.
    std::string ReadText(ULONG wanted, HRESULT* hr, ULONG* count)
    {
        char buffer[16];
        *count = 12345;
        *hr = stream.Read(buffer, wanted, count);
        return std::string(buffer, *count <= sizeof(buffer) ? *count : 0);
    }

    MemoryStream stream;
};

TEST_F(MemoryStreamTest, ReadCopiesWhatIsLeftAndEndsWithSfalseAndZero)
{
    HRESULT hr = E_FAIL;
    ULONG count = 0;
    EXPECT_EQ("", ReadText(0, &hr, &count));
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(0u, count);
    EXPECT_EQ("012345", ReadText(6, &hr, &count));
    EXPECT_EQ(S_OK, hr);
    // 10 wanted, 4 left: a short read is a success, and the next one reads nothing.
    EXPECT_EQ("6789", ReadText(10, &hr, &count));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ("", ReadText(10, &hr, &count));
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(0u, count);

    EXPECT_EQ(STG_E_INVALIDPOINTER, stream.Read(nullptr, 4, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(10u, Position());
}

TEST_F(MemoryStreamTest, SeekMovesByTheLowHalfOfTheMoveFromEachOrigin)
{
    ULONGLONG position = 0;
    HRESULT hr = E_FAIL;
    ULONG count = 0;
    EXPECT_EQ(S_OK, SeekTo(0x700000005ll, STREAM_SEEK_SET, &position));
    EXPECT_EQ(5ull, position);
    // Low half 0xFFFFFFFF is -1 whatever the high half holds.
    EXPECT_EQ(S_OK, SeekTo(0x1FFFFFFFFll, STREAM_SEEK_CUR, &position));
    EXPECT_EQ(4ull, position);
    EXPECT_EQ(S_OK, SeekTo(-2, STREAM_SEEK_END, &position));
    EXPECT_EQ(8ull, position);
    EXPECT_EQ("89", ReadText(5, &hr, &count));

    // Past the end is accepted and reads nothing.
    EXPECT_EQ(S_OK, SeekTo(5, STREAM_SEEK_END, &position));
    EXPECT_EQ(15ull, position);
    EXPECT_EQ("", ReadText(4, &hr, &count));
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(S_OK, SeekTo(-6, STREAM_SEEK_CUR));
    EXPECT_EQ("9", ReadText(4, &hr, &count));

    // Before the start or from an unknown origin: refused, position kept.
    ASSERT_EQ(S_OK, SeekTo(3, STREAM_SEEK_SET));
    EXPECT_EQ(E_FAIL, SeekTo(-1, STREAM_SEEK_SET));
    EXPECT_EQ(E_FAIL, SeekTo(-11, STREAM_SEEK_END));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(0, 3));
    EXPECT_EQ(3u, Position());
}

TEST_F(MemoryStreamTest, QueryInterfaceAnswersTheStreamInterfacesOnly)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, stream.QueryInterface(IID_IPersistStream, &object));
    EXPECT_EQ(nullptr, object);

    const IID* answered[] = {&IID_IUnknown, &IID_IStream, &IID_ISequentialStream};
    for (const IID* iid : answered) {
        object = nullptr;
        EXPECT_EQ(S_OK, stream.QueryInterface(*iid, &object));
        EXPECT_EQ(static_cast<IStream*>(&stream), object);
    }
    // 1 from construction and one per answer.
    EXPECT_EQ(5u, stream.AddRef());
    for (ULONG expected = 4; expected >= 1; --expected)
        EXPECT_EQ(expected, stream.Release());
}

// Records whether the object went through its virtual destructor.
class ProbeStream : public MemoryStream {
public:
    explicit ProbeStream(bool* destroyed) : destroyed_(destroyed) {}
    ~ProbeStream() override { *destroyed_ = true; }

private:
    bool* destroyed_;
};

TEST(MemoryStreamLifetime, ReleaseToZeroDestroysTheObject)
{
    bool destroyed = false;
    MemoryStream* stream = new ProbeStream(&destroyed);
    ISequentialStream* sequential = nullptr;
    ASSERT_EQ(S_OK, stream->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&sequential)));
    EXPECT_EQ(1u, stream->Release());
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(0u, sequential->Release());
    EXPECT_TRUE(destroyed);
}

}  // namespace
