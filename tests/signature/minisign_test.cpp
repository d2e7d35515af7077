// The verifier against keys and signatures that minisign itself made.
#include <gtest/gtest.h>

#include "signature/minisign.h"
#include "signature/model_name.h"
#include "tests/support/host_files.h"
#include "tests/support/minisign_tool.h"
#include "tests/support/temp_folder.h"

namespace {

using signature::CommentField;
using signature::ParsePublicKey;
using signature::ParseSignature;
using signature::Verdict;
using test_support::MinisignKey;
using test_support::ReadBytes;
using test_support::ReadText;

class MinisignTest : public ::testing::Test {
 protected:
  MinisignTest() : maker(temp.path(), "maker"), other(temp.path(), "other") {
    test_support::WriteText(file, std::string(100000, 'x') + "end\n");
  }
  signature::Digest FileDigest() const {
    const std::vector<uint8_t> bytes = ReadBytes(file);
    return signature::DigestOf(bytes.data(), bytes.size());
  }
  std::string SignatureText() const { return ReadText(file.string() + ".minisig"); }

  test_support::TempFolder temp;
  std::filesystem::path file = temp.path() / "KTR 60 SHELL.ZIP";
  MinisignKey maker;
  MinisignKey other;
};

TEST_F(MinisignTest, VerifiesWhatItsKeySignedAndNothingElse) {
  maker.Sign(file, "model=KTR 60; batch=7");
  const auto key = ParsePublicKey(maker.PublicKeyText());
  const auto otherKey = ParsePublicKey(other.PublicKeyLine());
  const auto sig = ParseSignature(SignatureText());
  ASSERT_TRUE(key && otherKey && sig);
  // minisign names its key at the end of the .pub file's comment line, and
  // drops leading zeros there (a key minisign made here printed that way).
  const std::string text = maker.PublicKeyText();
  const std::string comment = text.substr(0, text.find('\n'));
  EXPECT_EQ(signature::KeyIdText(key->id), comment.substr(comment.rfind(' ') + 1));
  EXPECT_EQ(signature::KeyIdText({0x93, 0x8F, 0x67, 0xB2, 0xD4, 0x70, 0x14, 0x01}),
            "11470D4B2678F93");
  EXPECT_EQ(signature::KeyIdText(sig->keyId), signature::KeyIdText(key->id));
  EXPECT_EQ(sig->trustedComment, "model=KTR 60; batch=7");

  const signature::Digest digest = FileDigest();
  EXPECT_EQ(signature::Verify(*sig, *key, digest), Verdict::Valid);
  EXPECT_EQ(signature::Verify(*sig, *otherKey, digest), Verdict::OtherKey);

  // The digest taken piece by piece is the digest of the whole.
  const std::vector<uint8_t> bytes = ReadBytes(file);
  signature::FileDigest pieces;
  pieces.Update(bytes.data(), 1000);
  pieces.Update(bytes.data() + 1000, bytes.size() - 1000);
  EXPECT_EQ(pieces.Final(), digest);

  std::vector<uint8_t> changed = bytes;
  changed[50000] ^= 1;
  EXPECT_EQ(signature::Verify(*sig, *key, signature::DigestOf(changed.data(), changed.size())),
            Verdict::FileChanged);

  // The model in the trusted comment cannot be edited without the secret key.
  signature::Signature forged = *sig;
  forged.trustedComment = "model=KTR 61; batch=7";
  EXPECT_EQ(signature::Verify(forged, *key, digest), Verdict::CommentChanged);
  // Nor can another key's signature be passed off under this key's id.
  other.Sign(file, "model=KTR 60");
  auto foreign = ParseSignature(SignatureText());
  ASSERT_TRUE(foreign);
  foreign->keyId = key->id;
  EXPECT_EQ(signature::Verify(*foreign, *key, digest), Verdict::FileChanged);
}

TEST_F(MinisignTest, TakesOnlyWellFormedKeysAndSignatures) {
  maker.Sign(file, "model=KTR 60");
  const std::string good = SignatureText();
  ASSERT_TRUE(ParseSignature(good));

  std::string crlf;
  for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_TRUE(ParseSignature(crlf));
  // minisign reads the comment line without every carriage return at its end.
  std::string twoReturns = good;
  twoReturns.replace(good.find("KTR 60\n"), 7, "KTR 60\r\r\n");
  const auto read = ParseSignature(twoReturns);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->trustedComment, "model=KTR 60");

  const std::size_t secondLine = good.find('\n') + 1;
  std::string badBase64 = good;
  badBase64[secondLine + 5] = '*';
  std::string shortLine = good;
  shortLine.erase(secondLine + 4, 4);
  std::string extraLine = good + "more\n";
  std::string noTrusted = good;
  noTrusted.replace(good.find("trusted comment: "), 7, "trustee");
  std::string huge = good + std::string(signature::kMostSignatureBytes, '\n');
  for (const std::string& text :
       {badBase64, shortLine, extraLine, noTrusted, huge, good.substr(0, good.size() / 2),
        std::string(), maker.PublicKeyText()}) {
    EXPECT_FALSE(ParseSignature(text)) << text;
  }
  EXPECT_FALSE(ParsePublicKey(good));
  EXPECT_FALSE(ParsePublicKey(maker.PublicKeyLine().substr(4)));
  // A key whose point has a small y coordinate (here 2^125) comes from no
  // key pair, and libgcrypt 1.10 aborts the process when it decodes one: it
  // is refused, and a signature checked against it fails without a crash.
  // "Ed", a key id of zeros, then the key: 0x20 in its byte 15, zeros elsewhere.
  EXPECT_FALSE(ParsePublicKey("RWQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAACAAAAAAAAAAAAAAAAAAAAAA"));
  maker.Sign(file, "model=KTR 60");
  const auto signed_ = ParseSignature(SignatureText());
  ASSERT_TRUE(signed_);
  signature::PublicKey smallKey;
  smallKey.id = signed_->keyId;
  smallKey.key[15] = 0x20;
  EXPECT_EQ(signature::Verify(*signed_, smallKey, FileDigest()), Verdict::FileChanged);
  EXPECT_FALSE(ParsePublicKey("garbage\n" + maker.PublicKeyLine()));

  // The older form signs the file itself; it is not taken.
  maker.Sign(file, "model=KTR 60", true);
  EXPECT_FALSE(ParseSignature(SignatureText()));
}

TEST(TrustedComment, NamesEachFieldOnce) {
  EXPECT_EQ(CommentField("model=KTR 60", "model"), "KTR 60");
  EXPECT_EQ(CommentField(" batch = 7 ;model =  KTR 60 ", "model"), "KTR 60");
  EXPECT_EQ(CommentField("model=KTR 60;batch=7", "batch"), "7");
  EXPECT_EQ(CommentField("model=", "model"), "");
  EXPECT_FALSE(CommentField("timestamp:1765000000\tfile:x.zip", "model"));
  EXPECT_FALSE(CommentField("models=KTR 60", "model"));
  EXPECT_FALSE(CommentField("model=KTR 60;model=KTR 61", "model"));
}

TEST(ModelName, IsTheDeviceModelExactlyWithAsciiCaseFolded) {
  EXPECT_TRUE(signature::IsDeviceModel("ktr 60", u"KTR 60"));
  EXPECT_TRUE(signature::IsDeviceModel("Gerät 1", u"GERäT 1"));
  for (const char* model : {"KTR 600", "KTR 6", "\u212ATR 60", "\xC1\x8BTR 60",
                            "KTR\xC2\xA0"
                            "60",
                            "GERÄT 1"}) {
    EXPECT_FALSE(signature::IsDeviceModel(
        model, std::string_view(model).starts_with("G") ? u"GERäT 1" : u"KTR 60"))
        << model;
  }
  EXPECT_FALSE(signature::DecodeStrictUtf8("\xED\xA0\x80"));      // a surrogate half
  EXPECT_FALSE(signature::DecodeStrictUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_EQ(signature::DecodeStrictUtf8("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(signature::ShownSafely("\xC1\x8BTR\x1B 6\xE2\x84\xAA"), u"\\xC1\\x8BTR\\x1B 6\u212A");
}

}  // namespace
