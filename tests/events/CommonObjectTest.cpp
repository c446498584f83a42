#include "EventsTestSupport.h"

namespace {

using VisualObjectTest = EventSystemTest;

TEST_F(VisualObjectTest, CommonObjectAnswersWithItsDefaults)
{
    CommonObject sibling;
    CommonObject object(&sibling);
    EXPECT_EQ(&object, object.CastIfCommonObject());
    EXPECT_TRUE(object.HasFixedWidth());
    EXPECT_TRUE(object.HasFixedHeight());
    EXPECT_EQ(&sibling, object.GetSibling());
    EXPECT_EQ(nullptr, sibling.GetSibling());
    EXPECT_EQ(nullptr, object.GetChild());
    EXPECT_EQ(nullptr, object.GetFirstLivingChild());
    EXPECT_FALSE(object.RequestPosChangedEvents());
    EXPECT_FALSE(object.RequestKilledEvents(static_cast<ActiveObject*>(nullptr)));
    EXPECT_FALSE(object.RequestKilledEvents(static_cast<OnButton*>(nullptr)));
    EXPECT_FALSE(object.RequestClickEvents());
    EXPECT_FALSE(object.RequestMouseMoveEvents());
    EXPECT_FALSE(object.RequestDragNDropEvents());
    char buffer[8];
    EXPECT_EQ(nullptr, object.DumpSequence(true, buffer, sizeof buffer));
    EXPECT_TRUE(object.IsObjectType(COT_BASE));
}

TEST_F(VisualObjectTest, PointFormOfSetPosGoesThroughTheCoordinateForm)
{
    struct Placed : CommonObject {
        void SetPos(int x, int y) override
        {
            lastX = x;
            lastY = y;
        }
        using CommonObject::SetPos;
        int lastX = 0, lastY = 0;
    } object;
    ICommonObject& asInterface = object;
    asInterface.SetPos(tagPOINT32{-3, 9});
    EXPECT_EQ(-3, object.lastX);
    EXPECT_EQ(9, object.lastY);
}

TEST_F(VisualObjectTest, WrappersExposeWhatTheyWrap)
{
    auto* textObject = reinterpret_cast<TextObject*>(0x1000);
    auto* active = reinterpret_cast<ActiveObject*>(0x2000);
    auto* picture = reinterpret_cast<EmptyPicture*>(0x3000);
    auto* matrix = reinterpret_cast<TransformMatrix*>(0x4000);
    auto* layout = reinterpret_cast<COLayout*>(0x5000);
    OnButton button(5, 1, nullptr, nullptr);

    CommonObjectText text("caption", textObject);
    EXPECT_STREQ("caption", text.GetTextContent());
    EXPECT_EQ(textObject, text.GetTextObject());

    CommonObjectObject object(active);
    EXPECT_EQ(active, object.GetActiveObject());

    CommonObjectButton wrapper(&button);
    EXPECT_EQ(&button, wrapper.GetOnButton());

    struct OpenMask : CommonObjectMask {
        using CommonObjectMask::CommonObjectMask;
        using CommonObjectMask::GetEmptyPicture;
        using CommonObjectMask::GetTransformMatrix;
    } mask(picture, matrix);
    EXPECT_FALSE(mask.HasFixedWidth());
    EXPECT_FALSE(mask.HasFixedHeight());
    EXPECT_EQ(picture, mask.GetEmptyPicture());
    EXPECT_EQ(matrix, mask.GetTransformMatrix());

    CommonObjectCollection collection(layout, &text);
    EXPECT_EQ(&text, collection.GetChild());
    EXPECT_EQ(layout, collection.GetLayout());
    EXPECT_FALSE(collection.InArrange());
    EXPECT_EQ(&collection, collection.CastIfCommonObject());
}

TEST_F(VisualObjectTest, ButtonStatesAndZOrder)
{
    auto* dyna = reinterpret_cast<DynaButton*>(0x10);
    auto* radio = reinterpret_cast<DynaRadio*>(0x20);
    const OnButton both(9, static_cast<short>(0xFFFE), radio, dyna);
    EXPECT_TRUE(both.IsActive());
    EXPECT_TRUE(both.IsRActive());
    EXPECT_FALSE(both.IsHidden());
    EXPECT_EQ(-2, both.GetZOrder());
    EXPECT_EQ(dyna, both.GetDynaButton());
    EXPECT_EQ(radio, both.GetDynaRadio());

    const OnButton active(5, 0, nullptr, nullptr);
    EXPECT_TRUE(active.IsActive());
    EXPECT_FALSE(active.IsRActive());
    EXPECT_FALSE(active.IsHidden());

    const OnButton rActive(7, 0, nullptr, nullptr);
    EXPECT_FALSE(rActive.IsActive());
    EXPECT_TRUE(rActive.IsRActive());

    const OnButton hidden(0, 0, nullptr, nullptr);
    EXPECT_TRUE(hidden.IsHidden());
    EXPECT_FALSE(hidden.IsActive());
    EXPECT_FALSE(hidden.IsRActive());

    const OnButton other(6, 32767, nullptr, nullptr);
    EXPECT_FALSE(other.IsHidden() || other.IsActive() || other.IsRActive());
    EXPECT_EQ(32767, other.GetZOrder());
}

TEST_F(VisualObjectTest, PageObjectsAreEventObjects)
{
    CommonObjectText text("t", nullptr);
    EXPECT_EQ(&text, CommonObjectEventManager::FindObjectByID(text.GetID()));
    EXPECT_EQ(text.GetID(), CommonObjectEventManager::SendRoutedEvent(0, COEF_BROADCAST | COEF_ALL_OBJECTS, COE_IDLE, 1L));
}

}  // namespace
