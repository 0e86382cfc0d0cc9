// The archive object on the system's 7-Zip engine: the engine's binary interface as we declare it,
// loading, archives that equal the reference tool's, and extraction that never leaves its folder.
#include "workloads/SevenZip.h"
#include "tests/support/TestEnv.h"
#include "tests/workloads/ImageTestSupport.h"
#include "workloads/SevenZipInterfaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <vector>

using namespace orv;
using namespace orv::test;
using namespace orv::sevenzip;

namespace {

QByteArray Noise(int size, unsigned seed) {
    std::mt19937 rng(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = static_cast<char>(rng() & 0xFF);
    return b;
}

QByteArray Text(int lines, unsigned seed) {
    std::mt19937 rng(seed);
    QByteArray b;
    for (int i = 0; i < lines; ++i)
        b += QByteArray::number(rng() % 10000000) + "\r\n";
    return b;
}

// The system engine opened directly, as the archive object opens it.
class Engine {
public:
    Engine() : lib_(dlopen(kSystemEnginePath, RTLD_NOW | RTLD_LOCAL)) {}
    ~Engine() {
        if (lib_)
            dlclose(lib_);
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    template <class F> F Entry(const char* name) const {
        return lib_ ? reinterpret_cast<F>(dlsym(lib_, name)) : nullptr;
    }
    template <class I> I* Create(const Guid& clsid = kClsid7z) const {
        void* obj = nullptr;
        auto create = Entry<CreateObjectFunc>(kCreateObjectSymbol);
        return create && create(&clsid, &I::kIid, &obj) == kOk ? static_cast<I*>(obj) : nullptr;
    }
    Bstr String(const wchar_t* s) const { return Entry<SysAllocStringFunc>(kSysAllocStringSymbol)(s); }
    void Free(PropVariant& v) const {
        if (v.vt == kVtBstr)
            Entry<SysFreeStringFunc>(kSysFreeStringSymbol)(v.bstrVal);
        v = {};
    }

private:
    void* lib_;
};

// Streams over memory, implemented on our side of the interface.
class MemoryInStream final : public Object<IInStream, ISequentialInStream> {
public:
    explicit MemoryInStream(QByteArray data) : data_(std::move(data)) {}
    HResult Read(void* data, std::uint32_t size, std::uint32_t* processed) override {
        const qint64 n = std::clamp<qint64>(data_.size() - pos_, 0, size);
        if (n > 0)
            std::memcpy(data, data_.constData() + pos_, static_cast<std::size_t>(n));
        pos_ += n;
        if (processed)
            *processed = static_cast<std::uint32_t>(n);
        return kOk;
    }
    HResult Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* newPosition) override {
        const qint64 base = origin == 0 ? 0 : origin == 1 ? pos_ : data_.size();
        if (base + offset < 0)
            return kInvalidArg;
        pos_ = base + offset;
        if (newPosition)
            *newPosition = static_cast<std::uint64_t>(pos_);
        return kOk;
    }

private:
    QByteArray data_;
    qint64 pos_ = 0;
};

class MemoryOutStream final : public Object<IOutStream, ISequentialOutStream> {
public:
    QByteArray data;
    HResult Write(const void* bytes, std::uint32_t size, std::uint32_t* processed) override {
        if (pos_ + size > data.size())
            data.resize(pos_ + size);
        std::memcpy(data.data() + pos_, bytes, size);
        pos_ += size;
        if (processed)
            *processed = size;
        return kOk;
    }
    HResult Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* newPosition) override {
        pos_ = (origin == 0 ? 0 : origin == 1 ? pos_ : data.size()) + offset;
        if (newPosition)
            *newPosition = static_cast<std::uint64_t>(pos_);
        return kOk;
    }
    HResult SetSize(std::uint64_t size) override {
        data.resize(static_cast<qsizetype>(size));
        return kOk;
    }

private:
    qint64 pos_ = 0;
};

// Items of an archive made here: names and attributes a damaged or hostile archive may hold.
struct CraftedItem {
    std::wstring name;
    QByteArray data;
    std::uint32_t attrib = kAttribArchive;
};

class CraftCallback final : public Object<IArchiveUpdateCallback, IProgress> {
public:
    CraftCallback(const Engine& engine, std::vector<CraftedItem> items)
        : engine_(engine), items_(std::move(items)) {}
    HResult SetTotal(std::uint64_t) override { return kOk; }
    HResult SetCompleted(const std::uint64_t*) override { return kOk; }
    HResult GetUpdateItemInfo(std::uint32_t, std::int32_t* newData, std::int32_t* newProps,
                              std::uint32_t* index) override {
        *newData = 1;
        *newProps = 1;
        *index = kAllItems;
        return kOk;
    }
    HResult GetProperty(std::uint32_t i, PropId id, PropVariant* v) override {
        *v = {};
        if (id == kpidPath) {
            v->vt = kVtBstr;
            v->bstrVal = engine_.String(items_[i].name.c_str());
        } else if (id == kpidSize) {
            v->vt = kVtUi8;
            v->uhVal = static_cast<std::uint64_t>(items_[i].data.size());
        } else if (id == kpidAttrib) {
            v->vt = kVtUi4;
            v->ulVal = items_[i].attrib;
        } else if (id == kpidIsDir || id == kpidIsAnti) {
            v->vt = kVtBool;
            v->boolVal = kVariantFalse;
        }
        return kOk;
    }
    HResult GetStream(std::uint32_t i, ISequentialInStream** in) override {
        *in = new MemoryInStream(items_[i].data);
        ++streams;
        return kOk;
    }
    HResult SetOperationResult(std::int32_t) override { return kOk; }
    int streams = 0;

private:
    const Engine& engine_;
    std::vector<CraftedItem> items_;
};

QByteArray Craft(const std::vector<CraftedItem>& items) {
    Engine engine;
    Ref<IOutArchive> out(engine.Create<IOutArchive>());
    if (!out.get())
        return {};
    Ref<MemoryOutStream> stream(new MemoryOutStream);
    Ref<CraftCallback> callback(new CraftCallback(engine, items));
    if (out->UpdateItems(stream.get(), static_cast<std::uint32_t>(items.size()), callback.get()) != kOk)
        return {};
    return stream->data;
}

// Counts what a test-mode extraction reports.
class CountingExtract final : public Object<IArchiveExtractCallback, IProgress> {
public:
    HResult SetTotal(std::uint64_t t) override {
        total = t;
        return kOk;
    }
    HResult SetCompleted(const std::uint64_t*) override { return kOk; }
    HResult GetStream(std::uint32_t, ISequentialOutStream** out, std::int32_t mode) override {
        *out = nullptr;
        modes.push_back(mode);
        return kOk;
    }
    HResult PrepareOperation(std::int32_t) override { return kOk; }
    HResult SetOperationResult(std::int32_t r) override {
        results.push_back(r);
        return kOk;
    }
    std::uint64_t total = 0;
    std::vector<std::int32_t> modes;
    std::vector<std::int32_t> results;
};

// A stand-in engine built by the tests: answers the layout question as told, refuses every class.
struct FakeEngine {
    void* lib = dlopen(ORVANTA_FAKE_ENGINE, RTLD_NOW | RTLD_LOCAL);
    ~FakeEngine() {
        if (lib)
            dlclose(lib);
    }
    std::uint32_t& InterfaceType() const {
        return *static_cast<std::uint32_t*>(dlsym(lib, "g_interfaceType"));
    }
    int& Creates() const { return *static_cast<int*>(dlsym(lib, "g_creates")); }
};

QString LoadError() {
    try {
        TSevenZip z;
    } catch (const ESevenZipError& e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

class SevenZipTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseSystemEngine();
        dir = MakeTempDir(QStringLiteral("7z"));
        design.ApplyDesignSettings();
    }
    std::unique_ptr<TSevenZip> Worker() {
        auto z = std::make_unique<TSevenZip>();
        z->CopySettingsFrom(design);
        z->OnMessage = [this](const QString& m) { messages << m; };
        return z;
    }
    QString P(const QString& name) const { return dir + QLatin1Char('/') + name; }
    // Everything below the test folder except the named top-level entries.
    QStringList Outside(const QStringList& allowed) const {
        QStringList found;
        for (const QString& n : QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
            if (!allowed.contains(n))
                found << n;
        return found;
    }

    QString dir;
    TSevenZip design;
    QStringList messages;
};

} // namespace

// ---- the engine's binary interface, checked against the library itself ----

TEST(SevenZipEngineAbi, LibraryDeclaresTheLayoutWeCallAndAVersionWithIt) {
    Engine engine;
    auto prop = engine.Entry<GetModulePropFunc>(kGetModulePropSymbol);
    ASSERT_NE(prop, nullptr) << "no 7-Zip engine at " << kSystemEnginePath;
    PropVariant type{};
    ASSERT_EQ(prop(kModulePropInterfaceType, &type), kOk);
    EXPECT_EQ(type.vt, kVtUi4);
    EXPECT_EQ(type.ulVal, kInterfaceTypeNoVirtualDestructor);
    PropVariant version{};
    ASSERT_EQ(prop(kModulePropVersion, &version), kOk);
    ASSERT_EQ(version.vt, kVtUi4);
    EXPECT_GE(version.ulVal >> 16, 23u) << "interfaces without a virtual destructor start with 7-Zip 23";
}

TEST(SevenZipEngineAbi, StringsAreFourByteCharactersAfterAByteLengthAndValuesSitAtOffsetEight) {
    Engine engine;
    auto byteLen = engine.Entry<std::uint32_t (*)(Bstr)>("SysStringByteLen");
    auto len = engine.Entry<std::uint32_t (*)(Bstr)>("SysStringLen");
    auto copy = engine.Entry<HResult (*)(PropVariant*, const PropVariant*)>("VariantCopy");
    auto clear = engine.Entry<HResult (*)(PropVariant*)>("VariantClear");
    ASSERT_TRUE(byteLen && len && copy && clear);
    Bstr s = engine.String(L"off\u0144");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(len(s), 4u);
    EXPECT_EQ(byteLen(s), 16u);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 16u);
    EXPECT_EQ(QString::fromWCharArray(s), QStringLiteral("off\u0144"));

    PropVariant from{};
    from.vt = kVtBstr;
    from.bstrVal = s;
    PropVariant to{};
    ASSERT_EQ(copy(&to, &from), kOk);
    EXPECT_EQ(to.vt, kVtBstr);
    EXPECT_NE(to.bstrVal, s);
    EXPECT_EQ(QString::fromWCharArray(to.bstrVal), QStringLiteral("off\u0144"));
    ASSERT_EQ(clear(&to), kOk);
    EXPECT_EQ(to.vt, kVtEmpty);
    engine.Free(from);

    PropVariant wide{};
    wide.vt = kVtUi8;
    wide.uhVal = 0x1122334455667788ull;
    ASSERT_EQ(copy(&to, &wide), kOk);
    EXPECT_EQ(to.vt, kVtUi8);
    EXPECT_EQ(to.uhVal, 0x1122334455667788ull);
}

TEST(SevenZipEngineAbi, HandlerAnswersItsInterfacesCountsReferencesAndRefusesOthers) {
    Engine engine;
    IInArchive* in = engine.Create<IInArchive>();
    ASSERT_NE(in, nullptr);
    void* p = nullptr;
    ASSERT_EQ(in->QueryInterface(IOutArchive::kIid, &p), kOk);
    auto* out = static_cast<IOutArchive*>(p);
    ASSERT_EQ(in->QueryInterface(ISetProperties::kIid, &p), kOk);
    auto* props = static_cast<ISetProperties*>(p);
    ASSERT_EQ(in->QueryInterface(IUnknown::kIid, &p), kOk);
    auto* unknown = static_cast<IUnknown*>(p);
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(in->QueryInterface(IArchiveExtractCallback::kIid, &p), kNoInterface);
    EXPECT_EQ(p, nullptr);
    std::uint32_t type = 99;
    EXPECT_EQ(out->GetFileTimeType(&type), kOk);
    EXPECT_LE(type & 0xFF, 2u);
    // Properties the handler does not know are refused by name.
    const wchar_t* names[] = {L"X", L"nonsense"};
    PropVariant values[2]{};
    values[0].vt = kVtUi4;
    values[0].ulVal = 9;
    values[1].vt = kVtUi4;
    values[1].ulVal = 1;
    EXPECT_EQ(props->SetProperties(names, values, 1), kOk);
    EXPECT_NE(props->SetProperties(names, values, 2), kOk);
    // One object: four references, the last Release answers 0.
    EXPECT_EQ(in->AddRef(), 5u);
    EXPECT_EQ(in->Release(), 4u);
    EXPECT_EQ(unknown->Release(), 3u);
    EXPECT_EQ(props->Release(), 2u);
    EXPECT_EQ(out->Release(), 1u);
    EXPECT_EQ(in->Release(), 0u);

    Guid none = kClsid7z;
    none.data4[3] = 0x7F; // no format's class
    EXPECT_NE(
        engine.Create<IInArchive>(Guid{0x23170F69, 0x40C1, 0x278A, {0x10, 0, 0, 0x01, 0x10, 0x01, 0, 0}}),
        nullptr); // the zip handler, to show the class id is what selects
    EXPECT_EQ(engine.Create<IInArchive>(none), nullptr);
    auto create = engine.Entry<CreateObjectFunc>(kCreateObjectSymbol);
    EXPECT_EQ(create(&none, &IInArchive::kIid, &p), kClassNotAvailable);
}

TEST(SevenZipEngineAbi, ReaderMethodsSitWhereDeclaredAndCallOursBack) {
    const QString dir = MakeTempDir(QStringLiteral("abi"));
    const QByteArray a = Text(300, 11);
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/a.txt"), a));
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/b.bin"), Noise(999, 12)));
    const QString archive = dir + QStringLiteral("/x.7z");
    QString log;
    ASSERT_EQ(RunTool(QStringLiteral("7zz"),
                      {QStringLiteral("a"), archive, dir + QStringLiteral("/a.txt"),
                       dir + QStringLiteral("/b.bin")},
                      &log),
              0)
        << log.toStdString();
    const QByteArray bytes = ReadAll(archive);

    Engine engine;
    Ref<IInArchive> in(engine.Create<IInArchive>());
    ASSERT_NE(in.get(), nullptr);
    Ref<MemoryInStream> stream(new MemoryInStream(bytes));
    const std::uint64_t atStart = 0;
    ASSERT_EQ(in->Open(stream.get(), &atStart, nullptr), kOk);
    std::uint32_t count = 0;
    ASSERT_EQ(in->GetNumberOfItems(&count), kOk);
    ASSERT_EQ(count, 2u);
    PropVariant v{};
    ASSERT_EQ(in->GetProperty(1, kpidPath, &v), kOk);
    ASSERT_EQ(v.vt, kVtBstr);
    EXPECT_EQ(QString::fromWCharArray(v.bstrVal), QStringLiteral("b.bin"));
    engine.Free(v);
    ASSERT_EQ(in->GetProperty(0, kpidSize, &v), kOk);
    ASSERT_EQ(v.vt, kVtUi8);
    EXPECT_EQ(v.uhVal, static_cast<std::uint64_t>(a.size()));
    ASSERT_EQ(in->GetProperty(0, kpidMTime, &v), kOk);
    EXPECT_EQ(v.vt, kVtFileTime);
    ASSERT_EQ(in->GetArchiveProperty(44 /* physical size */, &v), kOk);
    ASSERT_EQ(v.vt, kVtUi8);
    EXPECT_EQ(v.uhVal, static_cast<std::uint64_t>(bytes.size()));

    // The property tables: the path is listed as text, and the name out-parameters stay ours to free.
    std::uint32_t n = 0;
    ASSERT_EQ(in->GetNumberOfProperties(&n), kOk);
    bool pathListed = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        Bstr name = nullptr;
        PropId id = 0;
        VarType type = 0;
        ASSERT_EQ(in->GetPropertyInfo(i, &name, &id, &type), kOk);
        PropVariant owned{};
        owned.vt = kVtBstr;
        owned.bstrVal = name;
        engine.Free(owned);
        if (id == kpidPath)
            pathListed = type == kVtBstr;
    }
    EXPECT_TRUE(pathListed);
    ASSERT_EQ(in->GetNumberOfArchiveProperties(&n), kOk);
    EXPECT_GT(n, 0u);
    Bstr name = nullptr;
    PropId id = 0;
    VarType type = 0;
    EXPECT_EQ(in->GetArchivePropertyInfo(0, &name, &id, &type), kOk);
    EXPECT_NE(in->GetArchivePropertyInfo(n, &name, &id, &type), kOk);

    // Test mode walks every item through our callback and reports each sound.
    Ref<CountingExtract> callback(new CountingExtract);
    ASSERT_EQ(in->Extract(nullptr, kAllItems, 1, callback.get()), kOk);
    EXPECT_EQ(callback->modes, std::vector<std::int32_t>({1, 1}));
    EXPECT_EQ(callback->results, std::vector<std::int32_t>({kOperationOk, kOperationOk}));
    EXPECT_EQ(callback->total, static_cast<std::uint64_t>(a.size() + 999));
    EXPECT_EQ(in->Close(), kOk);
}

// ---- loading ----

TEST(SevenZipEngine, MissingOrUnfitEngineRaisesTheLoadError) {
    const QString message =
        QStringLiteral("Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not found");
    SetSevenZipEnginePath(MakeTempDir(QStringLiteral("noengine")) + QStringLiteral("/7za.so"));
    EXPECT_EQ(LoadError(), message);
    // A library that loads but has no CreateObject entry.
    SetSevenZipEnginePath(QStringLiteral("libz.so.1"));
    EXPECT_EQ(LoadError(), message);

    // A library whose interfaces carry a virtual destructor is never called.
    FakeEngine fake;
    ASSERT_NE(fake.lib, nullptr);
    SetSevenZipEnginePath(QStringLiteral(ORVANTA_FAKE_ENGINE));
    fake.InterfaceType() = 1;
    EXPECT_EQ(LoadError(), message);
    EXPECT_EQ(fake.Creates(), 0);
    // The right layout but no 7z handler.
    fake.InterfaceType() = kInterfaceTypeNoVirtualDestructor;
    EXPECT_EQ(LoadError(), message);
    EXPECT_EQ(fake.Creates(), 1);

    // The variable names the only file tried.
    UseSystemEngine();
    EXPECT_EQ(LoadError(), QString());
    qputenv(kEngineVariable,
            QFile::encodeName(MakeTempDir(QStringLiteral("noengine2")) + QStringLiteral("/x.so")));
    EXPECT_EQ(SevenZipEngineCandidates().size(), 1);
    EXPECT_EQ(LoadError(), message);
    UseSystemEngine();
    EXPECT_EQ(SevenZipEngineCandidates().last(), QString::fromLatin1(kSystemEnginePath));
}

// ---- writing ----

TEST_F(SevenZipTest, DesignSettingsAndTheFourCopiedOnes) {
    EXPECT_EQ(design.CompressStrength, TCompressStrength::ULTRA);
    EXPECT_EQ(design.LZMACompressDictionary, 3u);
    EXPECT_EQ(design.CompressType, TCompressType::LZMA);
    EXPECT_FALSE(design.SolidSettings);
    EXPECT_TRUE(design.AddOptions.StoreOnlyFileName && design.AddOptions.EncryptFilenames);
    EXPECT_TRUE(design.ExtractOptions.NoPaths && design.ExtractOptions.Overwrite);
    TSevenZip fresh;
    EXPECT_EQ(fresh.CompressStrength, TCompressStrength::NORMAL);
    fresh.CopySettingsFrom(design);
    EXPECT_EQ(fresh.CompressStrength, TCompressStrength::ULTRA);
    EXPECT_EQ(fresh.LZMACompressDictionary, 3u);
    EXPECT_EQ(fresh.AddOptions, design.AddOptions);
    EXPECT_EQ(fresh.ExtractOptions, design.ExtractOptions);
}

TEST_F(SevenZipTest, WrittenArchiveEqualsTheReferenceToolsAndExtractsByteForByte) {
    QDir().mkpath(P(QStringLiteral("in")));
    const QByteArray a = Text(4000, 1);
    const QByteArray b = Noise(300000, 2);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("in/a3.txt")), a));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("in/b3.txt")), b));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("txt3.7z"));
    z->Files << P(QStringLiteral("in/a3.txt")) << P(QStringLiteral("in/b3.txt"));
    // An old archive is replaced, not appended to.
    ASSERT_TRUE(WriteFile(z->SZFileName, Noise(500000, 3)));
    ASSERT_EQ(z->WriteArchive(), 0);

    QString out;
    ASSERT_EQ(RunTool(QStringLiteral("7zz"), {QStringLiteral("t"), z->SZFileName}, &out), 0)
        << out.toStdString();
    const auto blocks = ListArchive(z->SZFileName);
    ASSERT_EQ(blocks.size(), 3);
    EXPECT_EQ(Field(blocks[0], QStringLiteral("Type")), QStringLiteral("7z"));
    EXPECT_EQ(Field(blocks[0], QStringLiteral("Solid")), QStringLiteral("-"));
    EXPECT_EQ(Field(blocks[0], QStringLiteral("Blocks")), QStringLiteral("2"));
    // Bare names in list order, sizes, the LZMA method with the 8-byte dictionary setting.
    EXPECT_EQ(Field(blocks[1], QStringLiteral("Path")), QStringLiteral("a3.txt"));
    EXPECT_EQ(Field(blocks[2], QStringLiteral("Path")), QStringLiteral("b3.txt"));
    EXPECT_EQ(Field(blocks[1], QStringLiteral("Size")), QString::number(a.size()));
    EXPECT_EQ(Field(blocks[1], QStringLiteral("Method")), QStringLiteral("LZMA:12"));
    EXPECT_EQ(Field(blocks[1], QStringLiteral("Created")), QString());
    EXPECT_EQ(Field(blocks[1], QStringLiteral("Accessed")), QString());

    // The reference tool with the same settings on the same files writes the same bytes.
    const QString reference = P(QStringLiteral("ref.7z"));
    ASSERT_EQ(RunTool(QStringLiteral("7zz"),
                      {QStringLiteral("a"), QStringLiteral("-t7z"), QStringLiteral("-m0=LZMA"),
                       QStringLiteral("-mx=9"), QStringLiteral("-md=3"), QStringLiteral("-ms=off"), reference,
                       P(QStringLiteral("in/a3.txt")), P(QStringLiteral("in/b3.txt"))},
                      &out),
              0)
        << out.toStdString();
    EXPECT_TRUE(ReadAll(reference) == ReadAll(z->SZFileName));

    z->ExtrBaseDir = P(QStringLiteral("out/deeper/"));
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("out/deeper/a3.txt"))), a);
    EXPECT_EQ(ReadAll(P(QStringLiteral("out/deeper/b3.txt"))), b);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SevenZipTest, SolidArchiveWithAnEmptyAndAReadOnlyFileIsValidToo) {
    const QByteArray a = Text(500, 3);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("one.txt")), a));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("empty.txt")), QByteArray()));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("two.txt")), a + a));
    ASSERT_EQ(::chmod(QFile::encodeName(P(QStringLiteral("two.txt"))).constData(), 0444), 0);
    auto z = Worker();
    z->SolidSettings = true;
    z->CompressStrength = TCompressStrength::FAST;
    z->LZMACompressDictionary = 16;
    z->SZFileName = P(QStringLiteral("solid.7z"));
    z->Files << P(QStringLiteral("one.txt")) << P(QStringLiteral("empty.txt"))
             << P(QStringLiteral("two.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    QString out;
    ASSERT_EQ(RunTool(QStringLiteral("7zz"), {QStringLiteral("t"), z->SZFileName}, &out), 0)
        << out.toStdString();
    const auto blocks = ListArchive(z->SZFileName);
    ASSERT_EQ(blocks.size(), 4);
    EXPECT_EQ(Field(blocks[0], QStringLiteral("Solid")), QStringLiteral("+"));
    // The engine puts empty files first in a solid archive.
    EXPECT_EQ(Field(blocks[1], QStringLiteral("Path")), QStringLiteral("empty.txt"));
    EXPECT_TRUE(Field(blocks[2], QStringLiteral("Method")).startsWith(QStringLiteral("LZMA:")));
    EXPECT_EQ(Field(blocks[3], QStringLiteral("Path")), QStringLiteral("two.txt"));
    EXPECT_EQ(Field(blocks[3], QStringLiteral("Attributes")), QStringLiteral("RA -r--r--r--"));
    z->ExtrBaseDir = P(QStringLiteral("x"));
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("x/one.txt"))), a);
    EXPECT_TRUE(QFileInfo(P(QStringLiteral("x/empty.txt"))).isFile());
    EXPECT_EQ(QFileInfo(P(QStringLiteral("x/empty.txt"))).size(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("x/two.txt"))), a + a);
}

TEST_F(SevenZipTest, ArchiveThatCannotBeCreatedOrIsHeldAbortsSilently) {
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "data"));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("no/such/folder/f.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    EXPECT_THROW(z->WriteArchive(), EAbort);
    // Someone else holds the archive: it is left as it is.
    z->SZFileName = P(QStringLiteral("held.7z"));
    ASSERT_TRUE(WriteFile(z->SZFileName, "someone's"));
    const int fd = ::open(QFile::encodeName(z->SZFileName).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_THROW(z->WriteArchive(), EAbort);
    EXPECT_EQ(ReadAll(z->SZFileName), QByteArray("someone's"));
    ::close(fd);
    EXPECT_EQ(z->WriteArchive(), 0);
    // A listed file that is gone.
    z->Files << P(QStringLiteral("gone.txt"));
    EXPECT_NE(z->WriteArchive(), 0);
    EXPECT_TRUE(messages.isEmpty());
}

// ---- extracting ----

TEST_F(SevenZipTest, ArchivesOfTheReferenceToolExtract) {
    QDir().mkpath(P(QStringLiteral("src/sub")));
    const QByteArray a = Text(3000, 5);
    const QByteArray b = Noise(70000, 6);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("src/a.txt")), a));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("src/sub/b.bin")), b));
    int n = 0;
    for (const char* method : {"LZMA", "LZMA2", "PPMd", "BZip2"}) {
        for (const char* solid : {"on", "off"}) {
            const QString archive = P(QStringLiteral("ref%1.7z").arg(n++));
            QString out;
            ASSERT_EQ(
                RunTool(QStringLiteral("7zz"),
                        {QStringLiteral("a"), QStringLiteral("-t7z"),
                         QStringLiteral("-m0=") + QLatin1String(method),
                         QStringLiteral("-ms=") + QLatin1String(solid), archive, P(QStringLiteral("src/*"))},
                        &out),
                0)
                << out.toStdString();
            auto z = Worker();
            z->SZFileName = archive;
            z->ExtrBaseDir = P(QStringLiteral("flat%1").arg(n));
            ASSERT_EQ(z->ExtractAll(), 0) << method << " solid " << solid;
            // No paths: the stored folder is dropped.
            EXPECT_EQ(ReadAll(z->ExtrBaseDir + QStringLiteral("/a.txt")), a);
            EXPECT_EQ(ReadAll(z->ExtrBaseDir + QStringLiteral("/b.bin")), b);
            EXPECT_FALSE(QFileInfo::exists(z->ExtrBaseDir + QStringLiteral("/sub")));

            z->ExtractOptions.NoPaths = false;
            z->ExtrBaseDir = P(QStringLiteral("tree%1").arg(n));
            ASSERT_EQ(z->ExtractAll(), 0);
            EXPECT_EQ(ReadAll(z->ExtrBaseDir + QStringLiteral("/sub/b.bin")), b);
        }
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SevenZipTest, OverwriteReplacesAndWithoutItKeeps) {
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "archived"));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("f.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    z->ExtrBaseDir = P(QStringLiteral("t"));
    QDir().mkpath(z->ExtrBaseDir);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("t/f.txt")), "older and longer"));
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("t/f.txt"))), QByteArray("archived"));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("t/f.txt")), "older"));
    z->ExtractOptions.Overwrite = false;
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("t/f.txt"))), QByteArray("older"));
}

TEST_F(SevenZipTest, LinksInTheTargetAreReplacedOrRefusedNeverFollowed) {
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "archived"));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("outside.txt")), "keep me"));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("f.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    QDir().mkpath(P(QStringLiteral("t")));
    ASSERT_TRUE(QFile::link(P(QStringLiteral("outside.txt")), P(QStringLiteral("t/f.txt"))));
    z->ExtrBaseDir = P(QStringLiteral("t"));
    ASSERT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("outside.txt"))), QByteArray("keep me"));
    EXPECT_FALSE(QFileInfo(P(QStringLiteral("t/f.txt"))).isSymLink());
    EXPECT_EQ(ReadAll(P(QStringLiteral("t/f.txt"))), QByteArray("archived"));

    // A folder of the stored path that is a link out of the target.
    const QByteArray crafted = Craft({{L"sub/f.txt", "through the link", kAttribArchive}});
    ASSERT_FALSE(crafted.isEmpty());
    ASSERT_TRUE(WriteFile(P(QStringLiteral("sub.7z")), crafted));
    QDir().mkpath(P(QStringLiteral("elsewhere")));
    QDir().mkpath(P(QStringLiteral("u")));
    ASSERT_TRUE(QFile::link(P(QStringLiteral("elsewhere")), P(QStringLiteral("u/sub"))));
    z->SZFileName = P(QStringLiteral("sub.7z"));
    z->ExtrBaseDir = P(QStringLiteral("u"));
    z->ExtractOptions.NoPaths = false;
    EXPECT_NE(z->ExtractAll(), 0);
    EXPECT_TRUE(QDir(P(QStringLiteral("elsewhere"))).isEmpty());
    EXPECT_EQ(messages, QStringList(QStringLiteral("Could not create file")));
}

TEST_F(SevenZipTest, HostileNamesAndStoredLinksAreRefusedAndTheRestExtracts) {
    const std::uint32_t link = kAttribArchive | kAttribUnixExtension | ((S_IFLNK | 0777u) << 16);
    const QByteArray crafted = Craft({{L"../up.txt", "up", kAttribArchive},
                                      {L"/abs.txt", "abs", kAttribArchive},
                                      {L"..\\win.txt", "win", kAttribArchive},
                                      {L"C:\\drive.txt", "drive", kAttribArchive},
                                      {L"deep/../../far.txt", "far", kAttribArchive},
                                      {L"ln", "../outside.txt", link},
                                      {L"good.txt", "good", kAttribArchive}});
    ASSERT_FALSE(crafted.isEmpty());
    ASSERT_TRUE(WriteFile(P(QStringLiteral("hostile.7z")), crafted));
    for (const bool noPaths : {true, false}) {
        messages.clear();
        QDir(P(QStringLiteral("target"))).removeRecursively();
        auto z = Worker();
        z->ExtractOptions.NoPaths = noPaths;
        z->SZFileName = P(QStringLiteral("hostile.7z"));
        z->ExtrBaseDir = P(QStringLiteral("target/in"));
        EXPECT_NE(z->ExtractAll(), 0);
        EXPECT_EQ(messages.size(), 6) << messages.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(QDir(P(QStringLiteral("target/in")))
                      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                  QStringList(QStringLiteral("good.txt")));
        EXPECT_EQ(ReadAll(P(QStringLiteral("target/in/good.txt"))), QByteArray("good"));
        EXPECT_EQ(QDir(P(QStringLiteral("target"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList(QStringLiteral("in")));
        EXPECT_EQ(Outside({QStringLiteral("hostile.7z"), QStringLiteral("target")}), QStringList());
    }

    // A link stored by the reference tool itself.
    QDir().mkpath(P(QStringLiteral("src")));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("src/real.txt")), "real"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc/hostname"), P(QStringLiteral("src/ln"))));
    QString out;
    ASSERT_EQ(RunTool(QStringLiteral("7zz"),
                      {QStringLiteral("a"), QStringLiteral("-snl"), P(QStringLiteral("links.7z")),
                       P(QStringLiteral("src/ln")), P(QStringLiteral("src/real.txt"))},
                      &out),
              0)
        << out.toStdString();
    messages.clear();
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("links.7z"));
    z->ExtrBaseDir = P(QStringLiteral("lt"));
    EXPECT_NE(z->ExtractAll(), 0);
    EXPECT_EQ(messages, QStringList(QStringLiteral("Could not create file")));
    EXPECT_FALSE(QFileInfo::exists(P(QStringLiteral("lt/ln"))));
    EXPECT_EQ(ReadAll(P(QStringLiteral("lt/real.txt"))), QByteArray("real"));
}

TEST_F(SevenZipTest, MissingOrDamagedArchiveGivesAnErrorAndTheObjectGoesOn) {
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("nothing.7z"));
    z->ExtrBaseDir = P(QStringLiteral("t"));
    EXPECT_EQ(z->ExtractAll(), -1);
    EXPECT_EQ(z->ExtractAll(), -1);
    EXPECT_EQ(messages, QStringList({QStringLiteral("File not found"), QStringLiteral("File not found")}));
    ASSERT_TRUE(WriteFile(P(QStringLiteral("junk.7z")), Noise(5000, 9)));
    z->SZFileName = P(QStringLiteral("junk.7z"));
    EXPECT_EQ(z->ExtractAll(), -1);

    // The next repetition, with the archive in place, works.
    const QByteArray text = Text(2000, 10);
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), text));
    z->SZFileName = P(QStringLiteral("nothing.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    EXPECT_EQ(z->ExtractAll(), 0);
    EXPECT_EQ(ReadAll(P(QStringLiteral("t/f.txt"))), text);

    // Damaged data: the result reports it and the damaged file is not left behind as if sound.
    QDir(P(QStringLiteral("t"))).removeRecursively();
    QByteArray archive = ReadAll(z->SZFileName);
    archive[40] = static_cast<char>(archive[40] ^ 0x55);
    ASSERT_TRUE(WriteFile(z->SZFileName, archive));
    EXPECT_NE(z->ExtractAll(), 0);
    EXPECT_FALSE(QFileInfo::exists(P(QStringLiteral("t/f.txt"))));
    // A cut archive.
    ASSERT_TRUE(WriteFile(z->SZFileName, archive.left(archive.size() / 2)));
    EXPECT_NE(z->ExtractAll(), 0);
    EXPECT_EQ(Outside({QStringLiteral("t"), QStringLiteral("nothing.7z"), QStringLiteral("junk.7z"),
                       QStringLiteral("f.txt")}),
              QStringList());
}

TEST_F(SevenZipTest, FileThatCannotBeCreatedIsReported) {
    ASSERT_TRUE(WriteFile(P(QStringLiteral("f.txt")), "data"));
    auto z = Worker();
    z->SZFileName = P(QStringLiteral("f.7z"));
    z->Files << P(QStringLiteral("f.txt"));
    ASSERT_EQ(z->WriteArchive(), 0);
    // A folder in the way of the file.
    QDir().mkpath(P(QStringLiteral("t/f.txt")));
    z->ExtrBaseDir = P(QStringLiteral("t"));
    EXPECT_NE(z->ExtractAll(), 0);
    EXPECT_EQ(messages, QStringList(QStringLiteral("Could not create file")));
}
