// Run-time class records and the archive's persistent-object form, through small classes of
// the test's own.
#include "ArchiveTesting.h"
#include "CArchiveException.h"
#include "CNotSupportedException.h"
#include "CObject.h"
#include "FrameworkExceptionTesting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int s_liveObjects = 0;

// Counts its instances, so tests see what the archive created and deleted.
class Counted : public CObject {
protected:
    Counted() { ++s_liveObjects; }
    ~Counted() override { --s_liveObjects; }
};

class TestPoint : public Counted {
    DECLARE_SERIAL(TestPoint)
public:
    LONG x = 0;
    LONG y = 0;
    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring()) {
            ar << x << y;
            return;
        }
        ar >> x >> y;
        if (x == -1)
            AfxThrowNotSupportedException();  // lets a test fail an object with the data aligned
    }
};
IMPLEMENT_SERIAL(TestPoint, CObject, 2)

// Refers to another object without owning it.
class TestLink : public Counted {
    DECLARE_SERIAL(TestLink)
public:
    CObject* target = nullptr;
    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring())
            ar << target;
        else
            ar >> target;
    }
};
IMPLEMENT_SERIAL(TestLink, CObject, 1)

class TestShape : public CObject {
    DECLARE_DYNAMIC(TestShape)
};
IMPLEMENT_DYNAMIC(TestShape, CObject)

class TestCircle : public TestShape {
    DECLARE_DYNCREATE(TestCircle)
};
IMPLEMENT_DYNCREATE(TestCircle, TestShape)

Bytes NewClass(const std::string& className, WORD schema)
{
    Bytes bytes{0xFF, 0xFF, BYTE(schema), BYTE(schema >> 8), BYTE(className.size()), 0};
    bytes.insert(bytes.end(), className.begin(), className.end());
    return bytes;
}

Bytes operator+(Bytes left, const Bytes& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes PointData(LONG x, LONG y)
{
    return StoredBytes([&](CArchive& ar) { ar << x << y; });
}

TEST(CRuntimeClassTest, ClassesAreFoundByNameAndKnowTheirAncestry)
{
    EXPECT_EQ(RUNTIME_CLASS(TestPoint), CRuntimeClass::FromName("TestPoint"));
    EXPECT_EQ(nullptr, CRuntimeClass::FromName("TestShape"));  // not serialisable: not listed
    EXPECT_EQ(nullptr, CRuntimeClass::FromName(nullptr));
    CRuntimeClass::Register(RUNTIME_CLASS(TestPoint));  // again: the list stays a chain
    EXPECT_EQ(RUNTIME_CLASS(TestLink), CRuntimeClass::FromName("TestLink"));

    CObject* circle = RUNTIME_CLASS(TestCircle)->CreateObject();
    ASSERT_NE(nullptr, circle);
    EXPECT_TRUE(circle->IsKindOf(RUNTIME_CLASS(TestShape)));
    EXPECT_FALSE(circle->IsKindOf(RUNTIME_CLASS(TestPoint)));
    EXPECT_FALSE(circle->IsSerializable());
    delete circle;
    EXPECT_EQ(nullptr, RUNTIME_CLASS(TestShape)->CreateObject());
}

TEST(ObjectArchiveTest, ObjectsOfSeveralClassesAreWrittenInTheFrameworkFormAndReadBack)
{
    TestPoint a, b;
    a.x = 1, a.y = -2, b.x = 3, b.y = 4;
    TestLink link;
    link.target = &a;
    Bytes bytes = StoredBytes([&](CArchive& ar) { ar << &a << &b << &a << nullptr << &link << &link; });
    // Indexes: 1 class TestPoint, 2 a, 3 b, 4 class TestLink, 5 link.
    Bytes expected = NewClass("TestPoint", 2) + PointData(1, -2) + Bytes{0x01, 0x80} + PointData(3, 4) +
                     Bytes{0x02, 0x00, 0x00, 0x00} + NewClass("TestLink", 1) + Bytes{0x02, 0x00, 0x05, 0x00};
    EXPECT_EQ(expected, bytes);

    LoadingArchive loading(bytes);
    std::vector<CObject*> read(6);
    for (CObject*& object : read)
        loading.archive() >> object;
    auto* readA = dynamic_cast<TestPoint*>(read[0]);
    auto* readB = dynamic_cast<TestPoint*>(read[1]);
    auto* readLink = dynamic_cast<TestLink*>(read[4]);
    ASSERT_TRUE(readA && readB && readLink);
    EXPECT_EQ(-2, readA->y);
    EXPECT_EQ(3, readB->x);
    EXPECT_EQ(readA, read[2]);
    EXPECT_EQ(nullptr, read[3]);
    EXPECT_EQ(readA, readLink->target);
    EXPECT_EQ(readLink, read[5]);
    delete readA;
    delete readB;
    delete readLink;

    LoadingArchive again(bytes);
    TestPoint* points[2] = {};
    TestLink* notALink = nullptr;
    again.archive() >> points[0] >> points[1];
    EXPECT_TRUE(Raises<CArchiveException>([&] { again.archive() >> notALink; },  // a again
        [](CArchiveException& e) { EXPECT_EQ(CArchiveException::badClass, e.m_cause); }));
    delete points[0];
    delete points[1];
}

TEST(ObjectArchiveTest, IndexesFrom0x7FFFUseThe32BitEscape)
{
    std::vector<TestPoint> points(0x7FFF);  // indexes 2 to 0x8000
    TestLink first, second;
    Bytes bytes = StoredBytes([&](CArchive& ar) {
        for (TestPoint& point : points)
            ar << &point;
        ar << &points.front() << &points.back() << &first << &second;
    });
    // TestLink becomes class 0x8001, first 0x8002 with a null target, second 0x8003.
    Bytes tail = Bytes{0x02, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00} + NewClass("TestLink", 1) +
                 Bytes{0x00, 0x00, 0xFF, 0x7F, 0x01, 0x80, 0x00, 0x80, 0x00, 0x00};
    ASSERT_LT(tail.size(), bytes.size());
    EXPECT_EQ(tail, Bytes(bytes.end() - static_cast<long>(tail.size()), bytes.end()));

    LoadingArchive loading(bytes);
    std::vector<CObject*> read(points.size() + 4);
    for (CObject*& object : read)
        loading.archive() >> object;
    EXPECT_EQ(read.front(), read[points.size()]);
    EXPECT_EQ(read[points.size() - 1], read[points.size() + 1]);
    EXPECT_TRUE(read.back()->IsKindOf(RUNTIME_CLASS(TestLink)));
    for (size_t i = 0; i < read.size(); ++i) {
        if (i < points.size() || i >= points.size() + 2)
            delete read[i];
    }
}

struct MalformedCase {
    const char* what;
    Bytes bytes;
    int cause;
    const CRuntimeClass* requested = nullptr;
};

TEST(ObjectArchiveTest, MalformedDataRaisesTheFittingArchiveException)
{
    Bytes point = NewClass("TestPoint", 2) + PointData(5, 6);  // class 1, object 2
    const MalformedCase cases[] = {
        {"empty", {}, CArchiveException::endOfFile},
        {"unknown class", NewClass("Unknown", 1), CArchiveException::badClass},
        {"class without a record in the list", NewClass("TestShape", 0xFFFF), CArchiveException::badClass},
        {"other schema", NewClass("TestPoint", 1), CArchiveException::badSchema},
        {"name too long", NewClass(std::string(64, 'N'), 1), CArchiveException::badClass},
        {"NUL in the name", NewClass(std::string("TestPoint\0x", 11), 2), CArchiveException::badClass},
        {"name cut short", Bytes{0xFF, 0xFF, 0x02, 0x00, 0x09, 0x00, 'T'}, CArchiveException::endOfFile},
        {"object data cut short", NewClass("TestPoint", 2) + Bytes{1, 0, 0}, CArchiveException::endOfFile},
        {"unseen object", Bytes{0x01, 0x00}, CArchiveException::badIndex},
        {"class index 0", Bytes{0x00, 0x80}, CArchiveException::badIndex},
        {"unseen class", point + Bytes{0x03, 0x80}, CArchiveException::badIndex},
        {"class index naming an object", point + Bytes{0x02, 0x80}, CArchiveException::badIndex},
        {"object index naming a class", point + Bytes{0x01, 0x00}, CArchiveException::badIndex},
        {"escaped index naming a class", point + Bytes{0xFF, 0x7F, 0x01, 0, 0, 0}, CArchiveException::badIndex},
        {"escaped tag cut short", Bytes{0xFF, 0x7F, 0x01}, CArchiveException::endOfFile},
        {"new object of another class", point, CArchiveException::badClass, RUNTIME_CLASS(TestLink)},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.what);
        LoadingArchive loading(c.bytes);
        EXPECT_TRUE(Raises<CArchiveException>([&] {
            for (;;)
                delete loading.archive().ReadObject(c.requested);
        }, [&](CArchiveException& e) { EXPECT_EQ(c.cause, e.m_cause); }));
        EXPECT_EQ(0, s_liveObjects);
    }
}

TEST(ObjectArchiveTest, AnObjectThatFailsIsDeletedWithWhatItReadAndCannotBeReferredToAgain)
{
    // Class 1 TestLink, object 2 the link, class 3 TestPoint, object 4 a point that fails.
    Bytes bytes = NewClass("TestLink", 1) + NewClass("TestPoint", 2) + PointData(-1, 0) +
                  Bytes{0x02, 0x00} + Bytes{0x01, 0x80, 0x00, 0x00};
    LoadingArchive loading(bytes);
    EXPECT_TRUE(Raises<CNotSupportedException>([&] { loading.archive().ReadObject(nullptr); }));
    EXPECT_EQ(0, s_liveObjects);
    EXPECT_TRUE(Raises<CArchiveException>([&] { loading.archive().ReadObject(nullptr); },
        [](CArchiveException& e) { EXPECT_EQ(CArchiveException::badIndex, e.m_cause); }));
    // The class itself stays known.
    CObject* emptyLink = loading.archive().ReadObject(nullptr);
    ASSERT_NE(nullptr, emptyLink);
    EXPECT_EQ(nullptr, static_cast<TestLink*>(emptyLink)->target);
    delete emptyLink;
}

TEST(ObjectArchiveTest, AnObjectThatCannotBeReadBackIsNotWritten)
{
    TestCircle circle;
    EXPECT_TRUE(Raises<CArchiveException>([&] { StoredBytes([&](CArchive& ar) { ar << &circle; }); },
        [](CArchiveException& e) { EXPECT_EQ(CArchiveException::badClass, e.m_cause); }));
}

}  // namespace
