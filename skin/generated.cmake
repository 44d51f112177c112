# Generated skin images, written into ${stage} and listed (relative to it) in
# QV_SKIN_GENERATED. Naming:
#   - every SVG of skin/ (outside bitmaps/) is rasterized at 100, 125, 150,
#     175 and 200 %: "logo.svg" gives "logo@100.png" ... "logo@200.png"; the
#     SVG stays in the package too;
#   - every SVG in skin/bitmaps/ is the source of a bitmap: "bitmaps/bg.svg"
#     gives "bg.png" (100 %) and "bg@125.png" ... "bg@200.png".
# The toolkit picks the variant of the window's scale (image.h).
# Each raster is then shrunk by png_shrink.sh: recompressed losslessly, and for
# the bitmaps a dithered palette where it cannot be told from the original.
find_program(QV_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(QV_ZOPFLIPNG zopflipng REQUIRED)
find_program(QV_PNGQUANT pngquant REQUIRED)
set(qv_skin_scales 100 125 150 175 200)

function(qv_skin_raster src out zoom)
  get_filename_component(dir ${stage}/${out} DIRECTORY)
  set(raw ${CMAKE_CURRENT_BINARY_DIR}/raster/${out})
  get_filename_component(rawdir ${raw} DIRECTORY)
  set(mode)
  if(src MATCHES "^bitmaps/")
    set(mode --palette)
  endif()
  add_custom_command(OUTPUT ${stage}/${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir} ${rawdir}
    COMMAND ${QV_RSVG_CONVERT} --zoom=${zoom} --output=${raw} ${CMAKE_CURRENT_SOURCE_DIR}/${src}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/png_shrink.sh ${raw} ${stage}/${out} ${mode}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${src} ${CMAKE_CURRENT_SOURCE_DIR}/png_shrink.sh VERBATIM)
endfunction()

file(GLOB_RECURSE qv_skin_svgs CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.svg)
foreach(svg ${qv_skin_svgs})
  string(REGEX REPLACE "\\.svg$" "" stem ${svg})
  foreach(s ${qv_skin_scales})
    math(EXPR whole "${s} / 100")
    math(EXPR frac "${s} % 100")
    if(frac EQUAL 0)
      set(zoom ${whole})
    else()
      set(zoom ${whole}.${frac})
    endif()
    if(svg MATCHES "^bitmaps/")
      string(REGEX REPLACE "^bitmaps/" "" name ${stem})
      if(s EQUAL 100)
        set(out ${name}.png)
      else()
        set(out ${name}@${s}.png)
      endif()
    else()
      set(out ${stem}@${s}.png)
    endif()
    qv_skin_raster(${svg} ${out} ${zoom})
    list(APPEND QV_SKIN_GENERATED ${out})
  endforeach()
endforeach()
