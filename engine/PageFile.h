// The page file: the lowest layer of the storage engine.
//
// TPageFileManager sees the container file (a TSFSHugeFile, which it creates
// and owns) as an array of pages of one fixed size. Page 0 holds the 256-byte
// container header TSFSFileHeader; every other page starts with a 32-byte
// TSFSPageHeader followed by PageDataSize() data bytes. The manager creates or
// opens a container, validates and saves its header, reads and writes single
// pages with a checksum over the stored bytes and optional encryption, grows
// the file by whole pages, and keeps the container key that encrypts pages of
// a container created with a password.
//
// Page n lies at byte n * PageSize of the logical file (64-bit product).
// Low-level I/O failures of ReadPage/WritePage are results: false with a
// negative code in LastError (-7 .. -13). Everything else that goes wrong
// raises Exception with a fixed message.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "crypto/ZUZPassword.h"

class TSFSHugeFile;

static_assert(std::endian::native == std::endian::little, "headers are stored as laid out in memory");

// Size of the container header at offset 0.
constexpr int32_t kSFSFileHeaderSize = 256;
// Size of the header at the start of every page of the extent area.
constexpr int32_t kSFSPageHeaderSize = 32;
// Smallest page: a page header plus one 512-byte directory item.
constexpr int32_t kMinPageSize = 544;
// Largest page size a stored header may name; larger values are refused on
// open (they would make the page arithmetic and the page buffers unsafe).
constexpr int32_t kMaxPageSize = 1024 * 1024;
// "ZKSFSSGN", the first eight bytes of the container header.
constexpr char kSFSMagic[8] = {'Z', 'K', 'S', 'F', 'S', 'S', 'G', 'N'};
// Version written at creation: the single-precision value 2.11.
constexpr float kSFSVersion = 2.11f;
static_assert(std::bit_cast<uint32_t>(kSFSVersion) == 0x40070A3Du);

// Page types (TSFSPageHeader::PageType). Written for the reader's
// information; ReadPage does not test them.
constexpr uint8_t kPageTypeDirectory = 1;
constexpr uint8_t kPageTypeGAM = 2;
constexpr uint8_t kPageTypeSGAM = 3;
constexpr uint8_t kPageTypePFS = 4;
constexpr uint8_t kPageTypeFileMap = 5;
constexpr uint8_t kPageTypeFileData = 6;

// Encryption types (TSFSPageHeader::EncryptionType, TSFSFileHeader::Encrypted).
constexpr uint8_t kEncryptionNone = 0;
constexpr uint8_t kEncryptionRijndael = 1;

// The container header, 256 bytes at offset 0, little-endian.
struct TSFSFileHeader {
  char Magic[8];                      // 0: "ZKSFSSGN"
  uint32_t HeaderChecksum;            // 8: XOR of the 61 words at 12..255
  float Version;                      // 12: 2.11 (0x40070A3D); never tested on open
  int32_t PageSize;                   // 16: bytes per page
  int32_t ExtentPageCount;            // 20: pages per extent
  int32_t FirstExtentPage;            // 24: first page of the extent area (1)
  int32_t GAMPageCount;               // 28: GAM pages (each with its SGAM page)
  int32_t PFSPageCount;               // 32: PFS pages
  int32_t DirPageCount;               // 36: directory pages
  int32_t DirFirstPage;               // 40: first directory page
  int32_t DirItemCount;               // 44: directory items
  int32_t PageCount;                  // 48: pages in the file, page 0 included
  TSFSPasswordRecord PasswordRecord;  // 52: all zero without a password
  uint8_t Encrypted;                  // 224: 1 when created with a password
  uint8_t DefaultCompression;         // 225: method number for new stored files
  uint8_t Reserved[30];               // 226: zero
};
static_assert(sizeof(TSFSFileHeader) == kSFSFileHeaderSize);
static_assert(offsetof(TSFSFileHeader, HeaderChecksum) == 8);
static_assert(offsetof(TSFSFileHeader, Version) == 12);
static_assert(offsetof(TSFSFileHeader, PageSize) == 16);
static_assert(offsetof(TSFSFileHeader, ExtentPageCount) == 20);
static_assert(offsetof(TSFSFileHeader, FirstExtentPage) == 24);
static_assert(offsetof(TSFSFileHeader, GAMPageCount) == 28);
static_assert(offsetof(TSFSFileHeader, PFSPageCount) == 32);
static_assert(offsetof(TSFSFileHeader, DirPageCount) == 36);
static_assert(offsetof(TSFSFileHeader, DirFirstPage) == 40);
static_assert(offsetof(TSFSFileHeader, DirItemCount) == 44);
static_assert(offsetof(TSFSFileHeader, PageCount) == 48);
static_assert(offsetof(TSFSFileHeader, PasswordRecord) == 52);
static_assert(offsetof(TSFSFileHeader, Encrypted) == 224);
static_assert(offsetof(TSFSFileHeader, DefaultCompression) == 225);
static_assert(offsetof(TSFSFileHeader, Reserved) == 226);

// The header at the start of every page of the extent area, 32 bytes.
struct TSFSPageHeader {
  int32_t NextPage = -1;       // 0: next page of the same chain, -1 at the end
  uint32_t Checksum = 0;       // 4: checksum of the data bytes as stored
  uint8_t PageType = 0;        // 8: kPageType...
  uint8_t EncryptionType = 0;  // 9: 0 none, 1 Rijndael; other values refused
  uint8_t ChecksumKind = 0;    // 10: 0 XOR of 32-bit words, 1 CRC-16
  uint8_t Reserved[21] = {};   // 11: not interpreted
};
static_assert(sizeof(TSFSPageHeader) == kSFSPageHeaderSize);
static_assert(offsetof(TSFSPageHeader, Checksum) == 4);
static_assert(offsetof(TSFSPageHeader, PageType) == 8);
static_assert(offsetof(TSFSPageHeader, EncryptionType) == 9);
static_assert(offsetof(TSFSPageHeader, ChecksumKind) == 10);
static_assert(offsetof(TSFSPageHeader, Reserved) == 11);

// The in-memory page record that ReadPage and WritePage take: the page header
// and pData, the caller's data buffer. pData may point at any buffer of the
// caller; InitPage makes the record own a zero-filled buffer of PageDataSize
// bytes (kept in OwnedData, released by DonePage or with the record).
struct TSFSPage {
  TSFSPageHeader Header;
  uint8_t* pData = nullptr;
  std::unique_ptr<uint8_t[]> OwnedData;
};

class TPageFileManager {
 public:
  // Creates (Mode 0xFFFF) or opens a container. Otherwise the open is
  // read-only when (Mode & 3) == 0 and exclusive when (Mode & 0x10) != 0;
  // creating is always exclusive. PartSize goes to TSFSHugeFile (-1: chosen by
  // the volume) when creating; opening takes the stored one. Question and
  // Answer matter only when creating with a password.
  // Raises, in this order of checks:
  //   "TPageFileManager.Create - page size should be >= 544bytes ."
  //   "TPageFileManager.Create - extent page count should be >= 1 Page."
  //   (open) "File '<FileName>' not found"
  //   (open) "File <name without directory> has corrupted header."
  //   (open) the LoadHeader message;
  // the password-length errors of MakePasswordRecord and the file layer's
  // errors pass through. With a password, ContainerKey is derived through
  // VerifyPassword; a wrong password silently gives a wrong key.
  TPageFileManager(const std::string& FileName, uint16_t Mode, const std::string& Password,
                   const std::string& Question, const std::string& Answer, bool InMemory, int32_t PageSize,
                   int32_t ExtentPageCount, int64_t PartSize);
  // Frees the file, which closes it. The header is not saved here.
  ~TPageFileManager();
  TPageFileManager(const TPageFileManager&) = delete;
  TPageFileManager& operator=(const TPageFileManager&) = delete;

  // CheckHeader(0) and a check that the stored geometry is usable (PageSize in
  // 544 .. 1 MiB, ExtentPageCount >= 1, PageCount >= 1, FirstExtentPage 1).
  // Raises "TSingleFileSystem.LoadHeader - Invalid ZUZ file, header is
  // corrupted." when either fails.
  void LoadHeader();
  // Reads 256 bytes at Position into the working header (a short read raises
  // the file layer's read error); true when the magic and HeaderChecksum match.
  bool CheckHeader(int64_t Position);
  // Recomputes HeaderChecksum and writes the header at offset 0. Does nothing
  // when ReadOnly.
  void SaveHeader();
  // PageSize - 32.
  int32_t PageDataSize() const;

  // Reads page PageNo into Page: its 32-byte header, then (DataSize > 0)
  // DataSize bytes into Page.pData, checks the checksum stored in the page
  // header and, unless SkipDecrypt, decrypts with Key. DataSize < 0 means
  // PageDataSize(); an empty Key means ContainerKey. DataSize 0 reads only the
  // header. Returns false with LastError -7 (short header), -9 (short data),
  // -11 (checksum mismatch) or -12 (decryption failed or unknown type).
  // Raises "TPageFileManager.ReadPage - pData is nil." when data is wanted but
  // Page.pData is null.
  bool ReadPage(TSFSPage& Page, int32_t PageNo, int32_t DataSize, const std::string& Key, bool SkipDecrypt);
  // Encrypts Page.pData in place with Key by Page.Header.EncryptionType (the
  // caller's buffer then holds the stored bytes), sets Page.Header.Checksum
  // over the stored bytes, then writes the header and the data. With a null
  // pData or DataSize 0 only the header (with the caller's Checksum) is
  // written. DataSize and Key resolve as for ReadPage. Returns false with
  // LastError -13 (encryption failed; nothing written), -8 (short header) or
  // -10 (short data). An EncryptionType other than 0 and 1 raises the
  // EncodeBuffer message.
  bool WritePage(TSFSPage& Page, int32_t PageNo, int32_t DataSize, const std::string& Key);

  // Encrypt / decrypt Size bytes in place with a fresh TCipher_Rijndael made
  // from Key. Type 0 does nothing; errors of the cipher (an empty key) give
  // false. An unknown type raises "TPageFileManager.EncodeBuffer - Unknown
  // encryption type" in EncodeBuffer and gives false in DecodeBuffer.
  bool EncodeBuffer(void* Buffer, int32_t Size, const std::string& Key, uint8_t EncryptionType);
  bool DecodeBuffer(void* Buffer, int32_t Size, const std::string& Key, uint8_t EncryptionType);

  // Grows the file to PageCount + Count pages, then PageCount += Count and
  // SaveHeader. False (header unchanged) when the file layer fails or the new
  // size does not read back.
  bool AddPages(int32_t Count);
  // Flushes every volume part.
  void Flush();

  // NextPage -1, EncryptionType and ChecksumKind 0, and pData a new
  // zero-filled buffer of PageDataSize() bytes owned by Page. PageType is left
  // for the caller.
  void InitPage(TSFSPage& Page);
  // Releases the buffer InitPage made; pData becomes null.
  void DonePage(TSFSPage& Page);

  // The logical container file (for inspection).
  TSFSHugeFile& HugeFile() { return *File; }

 private:
  // Whether the stored geometry can be used for page arithmetic.
  bool HeaderGeometryUsable() const;

  std::unique_ptr<TSFSHugeFile> File;

 public:
  // Path given to the constructor.
  std::string FileName;
  // Volume parts live in memory.
  bool InMemory = false;
  // The working image of the container header. Other managers read and change
  // its fields directly; they reach the file only through SaveHeader.
  TSFSFileHeader Header{};
  // Opened for reading only: nothing is ever written to the header.
  bool ReadOnly = false;
  // Opened without sharing.
  bool Exclusive = false;
  // Key string of the container; empty without a password.
  std::string ContainerKey;
  // Code of the last ReadPage or WritePage failure, 0 after a success.
  int32_t LastError = 0;
};
