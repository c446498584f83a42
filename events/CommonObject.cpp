#include "CommonObject.h"

// ---- CommonObject: fixed layout answers, no host reports -----------------------------------

CommonObject::CommonObject(ICommonObject* sibling) : m_sibling(sibling) {}

CommonObject* CommonObject::CastIfCommonObject() { return this; }
void CommonObject::ExportObject() {}

void CommonObject::SetPos(int, int) {}
void CommonObject::SetPos(tagPOINT32 point)
{
    SetPos(static_cast<int>(point.x), static_cast<int>(point.y));
}
bool CommonObject::HasFixedWidth() { return true; }
bool CommonObject::HasFixedHeight() { return true; }
void CommonObject::SetWidth(int) {}
void CommonObject::SetHeight(int) {}
ICommonObject* CommonObject::GetSibling() { return m_sibling; }
ICommonObject* CommonObject::GetChild() { return nullptr; }
ICommonObject* CommonObject::GetFirstLivingChild() { return nullptr; }
bool CommonObject::RequestPosChangedEvents() { return false; }
bool CommonObject::RequestKilledEvents(ActiveObject*) { return false; }
bool CommonObject::RequestKilledEvents(OnButton*) { return false; }
bool CommonObject::RequestClickEvents() { return false; }
bool CommonObject::RequestMouseMoveEvents() { return false; }
bool CommonObject::RequestDragNDropEvents() { return false; }
void CommonObject::Arrange() {}
void CommonObject::ArrangeSelf() {}
void CommonObject::Recalc() {}
void CommonObject::Redraw() {}
void CommonObject::KillObject() {}
char* CommonObject::DumpSequence(bool, char*, int) { return nullptr; }

// ---- Wrappers of the page's own objects ----------------------------------------------------

CommonObjectText::CommonObjectText(const char* text, TextObject* textObject)
    : m_text(text), m_textObject(textObject)
{
}

const char* CommonObjectText::GetTextContent() const { return m_text; }
TextObject* CommonObjectText::GetTextObject() const { return m_textObject; }

CommonObjectObject::CommonObjectObject(ActiveObject* activeObject) : m_activeObject(activeObject) {}

ActiveObject* CommonObjectObject::GetActiveObject() { return m_activeObject; }

CommonObjectButton::CommonObjectButton(OnButton* button) : m_button(button) {}

OnButton* CommonObjectButton::GetOnButton() { return m_button; }

CommonObjectMask::CommonObjectMask(EmptyPicture* emptyPicture, TransformMatrix* transformMatrix)
    : m_emptyPicture(emptyPicture), m_transformMatrix(transformMatrix)
{
}

bool CommonObjectMask::HasFixedWidth() { return false; }
bool CommonObjectMask::HasFixedHeight() { return false; }
EmptyPicture* CommonObjectMask::GetEmptyPicture() { return m_emptyPicture; }
TransformMatrix* CommonObjectMask::GetTransformMatrix() { return m_transformMatrix; }

CommonObjectCollection::CommonObjectCollection(COLayout* layout, ICommonObject* firstChild)
    : m_layout(layout), m_inArrange(false), m_firstChild(firstChild)
{
}

ICommonObject* CommonObjectCollection::GetChild() { return m_firstChild; }
COLayout* CommonObjectCollection::GetLayout() const { return m_layout; }
bool CommonObjectCollection::InArrange() const { return m_inArrange; }

// ---- OnButton ------------------------------------------------------------------------------

OnButton::OnButton(long state, short zOrder, DynaRadio* radio, DynaButton* button)
    : m_state(state), m_zOrder(zOrder), m_radio(radio), m_button(button)
{
}

DynaButton* OnButton::GetDynaButton() const { return m_button; }
DynaRadio* OnButton::GetDynaRadio() const { return m_radio; }
int OnButton::GetZOrder() const { return m_zOrder; }
bool OnButton::IsHidden() const { return m_state == kHidden; }
bool OnButton::IsActive() const { return m_state == kActive || m_state == kBothActive; }
bool OnButton::IsRActive() const { return m_state == kRActive || m_state == kBothActive; }
