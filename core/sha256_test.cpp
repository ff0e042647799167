#include "core/sha256.h"
#include "core/digest_thread.h"

#include <gtest/gtest.h>

#include <string>

// Known answers from FIPS 180-2, fed whole and in uneven pieces.
TEST(Sha256Test, KnownDigestsWholeAndInPieces) {
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", KSha256().FinishHex());
    KSha256 abc;
    ASSERT_TRUE(abc.Update("abc", 3));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", abc.FinishHex());
    const std::string strText = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    KSha256 pieces;
    for (size_t i = 0; i < strText.size(); i += 7)
        pieces.Update(strText.data() + i, strText.size() - i < 7 ? strText.size() - i : 7);
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", pieces.FinishHex());
}

// The copy's way: chunks read in turn into two buffers, each refilled as soon as the hand-over of
// the next returns. The thread's digest must be the one made in place.
TEST(Sha256Test, DigestThreadHashesEveryChunkInOrder) {
    std::string strData(3 * 65536 + 5, '\0');
    for (size_t i = 0; i < strData.size(); ++i)
        strData[i] = static_cast<char>((i * 2654435761u) >> 13);
    KSha256 inPlace;
    inPlace.Update(strData.data(), strData.size());
    KSha256 threaded;
    {
        KDigestThread hasher(&threaded);
        std::string aBuffer[2] = {std::string(65536, '\0'), std::string(65536, '\0')};
        for (size_t uPos = 0, n = 0; uPos < strData.size(); uPos += 65536, n ^= 1) {
            size_t uSize = strData.size() - uPos < 65536 ? strData.size() - uPos : 65536;
            aBuffer[n].assign(strData, uPos, uSize);
            hasher.Add(aBuffer[n].data(), uSize);
        }
    }
    EXPECT_EQ(inPlace.FinishHex(), threaded.FinishHex());
}
