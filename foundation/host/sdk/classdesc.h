#pragma once
/// Class descriptors and the host's class registry. Every object the host can create by
/// class identity (built-in or from a plug-in) is registered here; the scene loader
/// finds classes through it.

#include <vector>

#include "foundation/host/base/win32_types.h"

class Interface;

class ClassDesc {
  public:
    virtual ~ClassDesc() = default;
    virtual int IsPublic() = 0;
    /// A new object of the class; `loading` tells that a scene load will fill it.
    virtual void* Create(BOOL loading = FALSE) = 0;
    virtual int BeginCreate(Interface*) { return 0; }
    virtual int EndCreate(Interface*) { return 0; }
    virtual const TCHAR* ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const TCHAR* Category() = 0;
    virtual BOOL OkToCreate(Interface*) { return TRUE; }
    virtual BOOL HasClassParams() { return FALSE; }
    virtual void EditClassParams(HWND) {}
    virtual void ResetClassParams(BOOL /*fileReset*/ = FALSE) {}
    virtual int NumActionTables() { return 0; }
    virtual int NumParamBlockDescs() { return 0; }
    virtual int NumManipulators() { return 0; }
};

namespace loom {

/// Registers a class; false (nothing registered) when its identity is already taken.
bool RegisterClass(ClassDesc* cd);
void UnregisterClass(ClassDesc* cd);
ClassDesc* FindClass(SClass_ID superClass, Class_ID classId);
std::vector<ClassDesc*> RegisteredClasses();

}  // namespace loom
