#include "engine/PendingFileList.h"
#include "base/UnicodeString.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

bool PathIs(const CPendingFileList& list, int nIndex, const wchar_t* pszPath)
{
    PENDING_FILE_ENTRY* pEntry = list.GetAt(nIndex);
    return pEntry != nullptr && *pEntry->pPath == pszPath;
}

TEST(PendingFileList, AddOrUpdateMarksOnceAndKeepsOneEntry)
{
    CPendingFileList list;
    CUnicodeString path(L"C:\\a.txt");
    EXPECT_TRUE(list.AddOrUpdate(&path, 0, 0, 100));
    EXPECT_FALSE(list.AddOrUpdate(&path, 0, 0, 200));
    ASSERT_EQ(1, list.GetSize());
    PENDING_FILE_ENTRY* pEntry = list.GetAt(0);
    EXPECT_EQ(100, pEntry->llSize);
    EXPECT_EQ(pEntry->llFirstSeen, pEntry->llLastSeen);
    EXPECT_GT(pEntry->llFirstSeen, 1600000000);

    EXPECT_TRUE(list.AddOrUpdate(&path, 7, 1, 300));
    EXPECT_EQ(1, pEntry->bFragmented);
    EXPECT_EQ(7, pEntry->nFragmentCount);
    EXPECT_EQ(100, pEntry->llSize) << "size stays";
    EXPECT_FALSE(list.AddOrUpdate(&path, 9, 1, 0));
    EXPECT_EQ(7, pEntry->nFragmentCount);
    EXPECT_NE(&path, pEntry->pPath) << "the list keeps a copy";
    EXPECT_FALSE(list.AddOrUpdate(nullptr, 0, 1, 0));
}

TEST(PendingFileList, IndexRulesAndRemoval)
{
    CPendingFileList list;
    CUnicodeString a(L"C:\\a"), b(L"C:\\b"), c(L"C:\\c"), upper(L"C:\\A");
    for (CUnicodeString* p : {&a, &b, &c})
        list.AddOrUpdate(p, 0, 0, 0);
    EXPECT_EQ(nullptr, list.GetAt(list.GetSize()));
    EXPECT_THROW(list.GetAt(-1), std::out_of_range);
    EXPECT_EQ(1, list.Find(&b));
    EXPECT_EQ(-1, list.Find(&upper)) << "paths compare case-sensitively";
    EXPECT_EQ(-1, list.Find(nullptr));

    list.RemoveAt(99);
    EXPECT_EQ(3, list.GetSize());
    list.RemoveChecked(0, &c);
    EXPECT_TRUE(PathIs(list, 0, L"C:\\a") && PathIs(list, 1, L"C:\\b"));
    EXPECT_EQ(2, list.GetSize());
    EXPECT_FALSE(list.Remove(&c));
    EXPECT_TRUE(list.Remove(&a));
    EXPECT_TRUE(PathIs(list, 0, L"C:\\b"));
}

TEST(PendingFileList, UpdateFindsByPathWhenTheIndexHasMoved)
{
    CPendingFileList list;
    CUnicodeString a(L"C:\\a"), b(L"C:\\b"), missing(L"C:\\z");
    list.AddOrUpdate(&a, 0, 0, 0);
    list.AddOrUpdate(&b, 0, 0, 0);
    PENDING_FILE_ENTRY stValues{nullptr, 1, 2, 3, 4, 1, 5};
    EXPECT_TRUE(list.Update(0, &b, stValues));
    PENDING_FILE_ENTRY* pEntry = list.GetAt(1);
    EXPECT_EQ(3, pEntry->nChangeCount);
    EXPECT_EQ(2, pEntry->llLastSeen);
    EXPECT_EQ(5, pEntry->llSize);
    EXPECT_TRUE(*pEntry->pPath == L"C:\\b");
    EXPECT_EQ(0, list.GetAt(0)->nChangeCount);
    EXPECT_FALSE(list.Update(0, &missing, stValues));
}

TEST(PendingFileList, RenameDirectoryMovesOnlyWhatLiesBelowIt)
{
    CPendingFileList list;
    for (const wchar_t* p : {L"C:\\a\\x.txt", L"C:\\ab\\x.txt", L"C:\\a", L"C:\\a\\d\\y"})
    {
        CUnicodeString path(p);
        list.AddOrUpdate(&path, 0, 0, 0);
    }
    CUnicodeString from(L"C:\\a"), to(L"C:\\b");
    EXPECT_FALSE(list.RenameDirectory(&from, &to));
    EXPECT_TRUE(PathIs(list, 0, L"C:\\b\\x.txt"));
    EXPECT_TRUE(PathIs(list, 1, L"C:\\ab\\x.txt")) << "a sibling that shares the prefix stays";
    EXPECT_TRUE(PathIs(list, 2, L"C:\\b"));
    EXPECT_TRUE(PathIs(list, 3, L"C:\\b\\d\\y"));

    CUnicodeString unknown(L"C:\\q"), target(L"C:\\r");
    EXPECT_TRUE(list.RenameDirectory(&unknown, &target));
    ASSERT_EQ(5, list.GetSize());
    EXPECT_TRUE(PathIs(list, 4, L"C:\\r"));
    EXPECT_EQ(1, list.GetAt(4)->bFragmented);
    EXPECT_FALSE(list.RenameDirectory(nullptr, &target));
}

TEST(PendingFileList, RenameFileMatchesWholePathsOrAddsTheNewName)
{
    CPendingFileList list;
    CUnicodeString x(L"C:\\x"), xy(L"C:\\xy"), y(L"C:\\y");
    list.AddOrUpdate(&x, 0, 0, 0);
    list.AddOrUpdate(&xy, 0, 0, 0);
    EXPECT_FALSE(list.RenameFile(&x, &y));
    EXPECT_TRUE(PathIs(list, 0, L"C:\\y"));
    EXPECT_TRUE(PathIs(list, 1, L"C:\\xy"));

    CUnicodeString gone(L"C:\\gone"), fresh(L"C:\\fresh");
    EXPECT_TRUE(list.RenameFile(&gone, &fresh));
    PENDING_FILE_ENTRY* pEntry = list.GetAt(2);
    ASSERT_NE(nullptr, pEntry);
    EXPECT_TRUE(*pEntry->pPath == L"C:\\fresh");
    EXPECT_EQ(0, pEntry->nFragmentCount);
    EXPECT_EQ(1, pEntry->bFragmented);
    EXPECT_FALSE(list.RenameFile(&x, nullptr));
}

} // namespace
