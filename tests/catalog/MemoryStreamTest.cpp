#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MemoryStream.h"

namespace {

const char kDigits[] = "0123456789";

class MemoryStreamTest : public ::testing::Test {
protected:
    void SetUp() override { stream.Init(kDigits, 10); }

    // The position, read through the stream's own interface.
    ULONG Position()
    {
        LARGE_INTEGER none = {};
        ULARGE_INTEGER position = {};
        EXPECT_EQ(S_OK, stream.Seek(none, STREAM_SEEK_CUR, &position));
        return position.LowPart;
    }

    HRESULT SeekTo(LONGLONG move, DWORD origin, ULARGE_INTEGER* position = nullptr)
    {
        LARGE_INTEGER distance;
        distance.QuadPart = move;
        return stream.Seek(distance, origin, position);
    }

    // Reads up to wanted bytes; the bytes copied go to text.
    HRESULT ReadText(ULONG wanted, ULONG* count, std::string* text)
    {
        char buffer[32];
        memset(buffer, '#', sizeof(buffer));
        *count = 12345;
        HRESULT hr = stream.Read(buffer, wanted, count);
        text->assign(buffer, *count <= sizeof(buffer) ? *count : 0);
        return hr;
    }

    MemoryStream stream;
};

TEST_F(MemoryStreamTest, ReadGivesWhatIsLeftAndThenSfalseWithZero)
{
    ULONG count = 0;
    std::string text;

    EXPECT_EQ(S_FALSE, ReadText(0, &count, &text));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0u, Position());

    EXPECT_EQ(S_OK, ReadText(6, &count, &text));
    EXPECT_EQ("012345", text);
    // A short read is a success: 4 of 10 wanted.
    EXPECT_EQ(S_OK, ReadText(10, &count, &text));
    EXPECT_EQ(4u, count);
    EXPECT_EQ("6789", text);
    EXPECT_EQ(S_FALSE, ReadText(10, &count, &text));
    EXPECT_EQ(0u, count);

    // The count pointer is optional.
    ASSERT_EQ(S_OK, SeekTo(8, STREAM_SEEK_SET));
    char two[2] = {};
    EXPECT_EQ(S_OK, stream.Read(two, 5, nullptr));
    EXPECT_EQ(0, memcmp(two, "89", 2));
}

TEST_F(MemoryStreamTest, ReadRefusesANullBufferAndMovesNothing)
{
    ULONG count = 77;
    EXPECT_EQ(STG_E_INVALIDPOINTER, stream.Read(nullptr, 4, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0u, Position());
}

TEST_F(MemoryStreamTest, SeekFromEachOrigin)
{
    ULARGE_INTEGER position = {};
    position.QuadPart = ~0ull;
    ULONG count = 0;
    std::string text;

    EXPECT_EQ(S_OK, SeekTo(7, STREAM_SEEK_SET, &position));
    EXPECT_EQ(7ull, position.QuadPart);
    EXPECT_EQ(S_OK, SeekTo(-3, STREAM_SEEK_CUR, &position));
    EXPECT_EQ(4ull, position.QuadPart);
    EXPECT_EQ(S_OK, SeekTo(-2, STREAM_SEEK_END, &position));
    EXPECT_EQ(8ull, position.QuadPart);
    EXPECT_EQ(S_OK, ReadText(5, &count, &text));
    EXPECT_EQ("89", text);

    ASSERT_EQ(S_OK, SeekTo(0, STREAM_SEEK_END));
    EXPECT_EQ(S_FALSE, ReadText(1, &count, &text));
    EXPECT_EQ(0u, count);
}

TEST_F(MemoryStreamTest, SeekTakesOnlyTheLowHalfOfTheMoveAsSigned)
{
    ULARGE_INTEGER position = {};
    EXPECT_EQ(S_OK, SeekTo(0x700000005ll, STREAM_SEEK_SET, &position));
    EXPECT_EQ(5ull, position.QuadPart);
    EXPECT_EQ(5u, Position());

    // Low half 0xFFFFFFFF is -1, whatever the high half says.
    EXPECT_EQ(S_OK, SeekTo(0x1FFFFFFFFll, STREAM_SEEK_CUR, &position));
    EXPECT_EQ(4ull, position.QuadPart);
}

TEST_F(MemoryStreamTest, SeekRefusesNegativeOffsetsAndUnknownOrigins)
{
    ASSERT_EQ(S_OK, SeekTo(3, STREAM_SEEK_SET));
    ULARGE_INTEGER position = {};
    position.QuadPart = 99;

    EXPECT_EQ(E_FAIL, SeekTo(-1, STREAM_SEEK_SET, &position));
    EXPECT_EQ(E_FAIL, SeekTo(-4, STREAM_SEEK_CUR, &position));
    EXPECT_EQ(E_FAIL, SeekTo(-11, STREAM_SEEK_END, &position));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(0, 3, &position));
    EXPECT_EQ(99ull, position.QuadPart);
    EXPECT_EQ(3u, Position());
}

TEST_F(MemoryStreamTest, SeekPastTheEndIsAcceptedAndReadsNothing)
{
    ULARGE_INTEGER position = {};
    ULONG count = 0;
    std::string text;
    EXPECT_EQ(S_OK, SeekTo(5, STREAM_SEEK_END, &position));
    EXPECT_EQ(15ull, position.QuadPart);
    EXPECT_EQ(S_FALSE, ReadText(4, &count, &text));
    EXPECT_EQ(0u, count);

    // And back into the range from there.
    EXPECT_EQ(S_OK, SeekTo(-6, STREAM_SEEK_CUR, &position));
    EXPECT_EQ(S_OK, ReadText(4, &count, &text));
    EXPECT_EQ("9", text);
}

TEST_F(MemoryStreamTest, QueryInterfaceAnswersTheStreamInterfacesOnly)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, stream.QueryInterface(IID_IPersistStream, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_NOINTERFACE, stream.QueryInterface(IID_IStorage, &object));
    EXPECT_EQ(nullptr, object);

    const IID* answered[] = {&IID_IUnknown, &IID_IStream, &IID_ISequentialStream};
    for (const IID* iid : answered) {
        object = nullptr;
        EXPECT_EQ(S_OK, stream.QueryInterface(*iid, &object));
        EXPECT_EQ(static_cast<IStream*>(&stream), object);
    }
    // Construction gave 1, each answer added one.
    EXPECT_EQ(5u, stream.AddRef());
    for (ULONG expected = 4; expected >= 1; --expected)
        EXPECT_EQ(expected, stream.Release());
}

// Tells whether the object on the heap went through its virtual destructor.
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
