// The framework's string and list behaviour that the library relies on.
#include <gtest/gtest.h>

#include <clocale>

#include "platform/platform.h"

namespace {

TEST(CStringTest, MidLeftRightClampToTheText)
{
    const CString text("GCHTST 1,2");
    EXPECT_EQ(text.Mid(7), "1,2");
    EXPECT_EQ(text.Mid(7, 100), "1,2");
    EXPECT_EQ(text.Mid(20), "");
    EXPECT_EQ(text.Mid(-3, 2), "GC");
    EXPECT_EQ(text.Mid(2, -1), "");
    EXPECT_EQ(text.Left(6), "GCHTST");
    EXPECT_EQ(text.Left(99), text);
    EXPECT_EQ(text.Right(3), "1,2");
    EXPECT_EQ(text.Right(-1), "");
}

TEST(CStringTest, FindsCharactersAndSubstrings)
{
    const CString text("a,b,c");
    EXPECT_EQ(text.Find(','), 1);
    EXPECT_EQ(text.Find(',', 2), 3);
    EXPECT_EQ(text.Find(',', 9), -1);
    EXPECT_EQ(text.Find("b,c"), 2);
    EXPECT_EQ(text.Find("x"), -1);
    EXPECT_EQ(text.ReverseFind(','), 3);
    EXPECT_EQ(CString().Find(""), 0);
}

TEST(CStringTest, FormatUsesAPointWhateverTheLocale)
{
    // A comma-decimal locale must not leak into the command language.
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr)
        << "locale de_DE.UTF-8 is not installed (./go setup generates it)";
    CString text;
    text.Format("%.2f,%d,%s", 2.5, -7, "word");
    EXPECT_EQ(text, "2.50,-7,word");
    EXPECT_DOUBLE_EQ(gc6890::parseDouble("1.25"), 1.25);
    std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(CStringTest, FormatGrowsPastItsFirstBuffer)
{
    CString text;
    text.Format("%s|%s", std::string(300, 'x').c_str(), "end");
    EXPECT_EQ(text.GetLength(), 304);
    EXPECT_EQ(text.Right(4), "|end");
}

TEST(CStringTest, ConcatenatesAndCompares)
{
    CString text = CString("CC") + "HT" + 'I';
    text += "D";
    EXPECT_EQ(text, "CCHTID");
    EXPECT_TRUE("CCHTID" == text);
    EXPECT_TRUE(text != "CCHTIE");
    EXPECT_TRUE(CString("A") < CString("B"));
    text.Empty();
    EXPECT_TRUE(text.IsEmpty());
}

TEST(CListTest, WalksBothWaysAndRemovesInTheMiddle)
{
    CList<int, int> list;
    list.AddTail(2);
    list.AddTail(3);
    list.AddHead(1);
    ASSERT_EQ(list.GetCount(), 3);

    int expected = 1;
    for (POSITION at = list.GetHeadPosition(); at;)
        EXPECT_EQ(list.GetNext(at), expected++);
    expected = 3;
    for (POSITION at = list.GetTailPosition(); at;)
        EXPECT_EQ(list.GetPrev(at), expected--);

    list.RemoveAt(list.Find(2));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetHead(), 1);
    EXPECT_EQ(list.GetTail(), 3);
    EXPECT_EQ(list.Find(2), nullptr);

    list.RemoveAt(list.GetHeadPosition());
    list.RemoveAt(list.GetTailPosition());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(9);  // an emptied list is usable again
    EXPECT_EQ(list.GetHead(), 9);
}

TEST(CListTest, FindStartsAfterTheGivenPosition)
{
    CStringList list;
    list.AddTail("a");
    list.AddTail("b");
    list.AddTail("a");
    const POSITION first = list.Find("a");
    const POSITION second = list.Find("a", first);
    EXPECT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.Find("a", second), nullptr);
    EXPECT_EQ(list.GetBlockSize(), 10);
}

TEST(CArrayTest, GrowsAndRemoves)
{
    CArray<int, int> array;
    array.Add(1);
    array.SetAtGrow(3, 4);
    EXPECT_EQ(array.GetSize(), 4);
    EXPECT_EQ(array[1], 0);
    array.RemoveAt(0, 2);
    EXPECT_EQ(array.GetSize(), 2);
    EXPECT_EQ(array.GetAt(1), 4);
}

}  // namespace
