#pragma once
// What the material tests share: a render kernel on the hidden OpenGL display with the program's
// material plug-ins registered, a camera at the origin looking down -z, lights, chunks, and the display's
// record as the oracle of what a material did.
#include "engine/Display.h"
#include "engine/DisplayLight.h"
#include "engine/MaterialManager.h"
#include "engine/OS.h"
#include "engine/PluginType.h"
#include "engine/RenderKernel.h"
#include "engine/ViewPoint.h"
#include "render/materials/VelmarMaterialPlugins.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class MaterialTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Orvo::PluginBase::UnregisterAll();
        os_ = std::make_unique<Orvo::OS>("VelmarUtil", "-render=OpenGL -hidewindow -LogFile=/dev/null ");
        ASSERT_TRUE(os_->Init());
        kernel_ = std::make_unique<Orvo::RenderKernel>(nullptr, 1.0f);
        ASSERT_TRUE(kernel_->Init(os_.get(), nullptr));
        Orvo::RegisterMaterialPlugins([](Orvo::PluginType* t) { Orvo::PluginBase::RegisterPluginType(t); });
        viewport_.camera = &camera_;
    }
    void TearDown() override
    {
        kernel_.reset();
        Orvo::PluginBase::UnregisterAll();
    }

    Orvo::Display& Display() { return *kernel_->GetDisplay(); }
    Orvo::MaterialManager& Manager() { return kernel_->GetMaterialManager(); }

    // The material of that decorated name as the material factory makes it (one reference held).
    Orvo::AutoReference<Orvo::Material> Make(const char* name)
    {
        Orvo::Material* made = Manager().CreateMaterial(Orvo::PString(name));
        Orvo::AutoReference<Orvo::Material> held(made);
        if (made) made->Release();
        return held;
    }
    template <class T>
    T* MakeAs(const char* name)
    {
        held_.push_back(Make(name));
        return dynamic_cast<T*>(held_.back().Get());
    }

    // A one-triangle chunk of the material (indices 0, 1, 2).
    Orvo::GeometryChunk* Triangle(Orvo::Material& material)
    {
        Orvo::GeometryChunk* chunk = material.CreateGeometryChunk(3, 1, 3, 0, 0, Orvo::StandardChunkHint());
        chunks_.emplace_back(chunk);
        for (uint16_t i = 0; i < 3; ++i) chunk->GetIndexArray()[i] = i;
        return chunk;
    }

    static Orvo::DisplayLight Light(int kind, const Orvo::Color& diffuse)
    {
        Orvo::DisplayLight light(kind);
        light.diffuse = diffuse;
        return light;
    }

    // The record since the last call.
    std::vector<std::string> Taken()
    {
        std::vector<std::string> out = Display().GetRecord();
        Display().ClearRecord();
        return out;
    }
    // Lines of the record that start with `prefix`.
    static std::vector<std::string> Starting(const std::vector<std::string>& lines, const std::string& prefix)
    {
        std::vector<std::string> out;
        for (const std::string& l : lines)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }

    std::unique_ptr<Orvo::OS> os_;
    std::unique_ptr<Orvo::RenderKernel> kernel_;
    Orvo::Camera camera_;
    Orvo::ViewPort viewport_;
    Orvo::Matrix4 identity_;
    std::vector<Orvo::AutoReference<Orvo::Material>> held_;
    std::vector<Orvo::AutoReference<Orvo::GeometryChunk>> chunks_;
};
