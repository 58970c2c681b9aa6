#include "editing/detail.h"

#include "app/hourgrid.h"

namespace app {

Detail::Detail(ui::Platform& platform) : platform_(platform) {
    setCaption("Activity Detail");
    setWidth(5400);
    setHeight(3150);

    Label1.name = "Label1";
    Label1.setCaption("Note:");
    Label1.move(120, 120, 1000, 255);

    Note.name = "Note";
    Note.multiLine = true;
    Note.move(120, 390, 5040, 1500);

    Billable.name = "Billable";
    Billable.setCaption("Billable");
    Billable.move(120, 2010, 1500, 255);

    OK.name = "OK";
    OK.setCaption("OK");
    OK.isDefault = false;  // Enter belongs to the multi-line note
    OK.move(2640, 2010, 1155, 375);
    OK.onClick = [this] { OK_Click(); };

    Cancel.name = "Cancel";
    Cancel.setCaption("Cancel");
    Cancel.isCancel = true;
    Cancel.move(3960, 2010, 1155, 375);
    Cancel.onClick = [this] { Cancel_Click(); };
}

// A close by any other way than OK must leave the caller with nothing to write.
void Detail::Form_Activate() { m_OKCancel = false; }

void Detail::OK_Click() {
    m_OKCancel = true;
    platform_.hide(*this);
}

void Detail::Cancel_Click() {
    m_OKCancel = false;
    platform_.hide(*this);
}

std::vector<ui::Control*> Detail::controls() { return {&Label1, &Note, &Billable, &OK, &Cancel}; }

Detail& Hourgrid::detailForm() {
    if (!detail_) detail_ = std::make_shared<Detail>(platform_);
    return *detail_;
}

}  // namespace app
